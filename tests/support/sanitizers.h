// Whether the tests run under AddressSanitizer, for the few that cannot:
// a process under an address-space limit (RLIMIT_AS) cannot reserve the
// sanitizer's shadow memory, terabytes of address space, and ends at start.
#ifndef PIXOLUNE_TESTS_SUPPORT_SANITIZERS_H_
#define PIXOLUNE_TESTS_SUPPORT_SANITIZERS_H_

#include <gtest/gtest.h>

namespace pixolune::testing {

#if defined(__SANITIZE_ADDRESS__)  // GCC
inline constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)  // clang
#if __has_feature(address_sanitizer)
inline constexpr bool kUnderAddressSanitizer = true;
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif

}  // namespace pixolune::testing

/// Skips the test under AddressSanitizer, saying which process of it runs
/// under an address-space limit.
#define PIXOLUNE_SKIP_UNDER_ADDRESS_SANITIZER(process)                                                 \
  if (::pixolune::testing::kUnderAddressSanitizer)                                                    \
  GTEST_SKIP() << process << " runs under an address-space limit (RLIMIT_AS), which AddressSanitizer's " \
                             "shadow memory does not fit in"

#endif  // PIXOLUNE_TESTS_SUPPORT_SANITIZERS_H_
