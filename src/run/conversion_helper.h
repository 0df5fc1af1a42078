// The helper side of isolated conversion: a child process of this program
// that converts the files its parent sends, so that a decoder crash, hang or
// runaway allocation ends the helper and never the run.
#ifndef PIXOLUNE_RUN_CONVERSION_HELPER_H_
#define PIXOLUNE_RUN_CONVERSION_HELPER_H_

namespace pixolune {

/// Internal first argument that starts the program as a conversion helper.
/// Not an option: the option parser never sees it and the usage text never
/// shows it; only the conversion worker passes it.
inline constexpr char kConversionHelperArgument[] = "--internal-conversion-helper";

/// Exit status of a helper whose memory ran out.
inline constexpr int kHelperOutOfMemoryExit = 86;

/// Serves the parent on socket `fd`: reads the run setup (the run options,
/// the output folder, the memory cap), then converts one requested file
/// after another with convertToTemporary and replies with the outcome,
/// until the parent closes the socket. Returns the exit status: 0 after the parent closed, 1 when a
/// message was malformed. Allocation failures end the process with
/// kHelperOutOfMemoryExit. Runs in its own process only.
int runConversionHelper(int fd);

}  // namespace pixolune

#endif  // PIXOLUNE_RUN_CONVERSION_HELPER_H_
