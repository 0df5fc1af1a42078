// What a CMYK, Lab or 32-bit document looks like in Photoshop, computed in
// the tests apart from the program: the stored composite read by a small
// reader of its own and converted with LittleCMS called directly (CMYK and
// Lab through the document's profile, or the CMYK working space, to sRGB,
// relative colorimetric with black-point compensation), or, for 32 bits,
// the linear samples encoded with the sRGB curve.
#ifndef PIXOLUNE_TESTS_SUPPORT_COLOUR_REFERENCE_H_
#define PIXOLUNE_TESTS_SUPPORT_COLOUR_REFERENCE_H_

#include <string>

#include "support/test_util.h"

namespace pixolune::testing {

/// The picture of the document at `path` as 8-bit RGBA, transparency (a
/// first extra channel) taken out of the white it is stored over. False,
/// with *why, for documents of other kinds or that it cannot read (only raw
/// and PackBits composites of version 1 files).
bool colourReference(const std::string& path, Pixels* out, std::string* why);

}  // namespace pixolune::testing

#endif  // PIXOLUNE_TESTS_SUPPORT_COLOUR_REFERENCE_H_
