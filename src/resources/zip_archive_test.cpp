#include "resources/zip_archive.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "resources/zip_archive_test_util.h"
#include "support/test_util.h"

namespace pixolune {
namespace {

using testing::ZeroEntries;

/// Limits small enough that tests build their archives in no time.
constexpr ZipLimits kSmallLimits{4096, 10000};

class ZipLimitsTest : public ::testing::Test {
 protected:
  /// An archive of zero-byte entries.
  std::string zeroZip(const ZeroEntries& entries) {
    std::string path = dir_.file("z" + std::to_string(++count_) + ".zip");
    EXPECT_TRUE(testing::writeZeroZip(path, entries));
    return path;
  }

  testing::TempDir dir_;
  int count_ = 0;
  std::vector<ZipEntry> entries_;
  std::map<std::string, std::string> out_;
};

TEST_F(ZipLimitsTest, AnEntryClaimingTooMuchRefusesTheWholeArchive) {
  std::string path = zeroZip({{"small", 1000}, {"big", 4097}});
  EXPECT_FALSE(listZipEntries(path, &entries_, kSmallLimits));
  EXPECT_TRUE(entries_.empty());
  // Whichever entries are wanted.
  EXPECT_FALSE(extractZipEntries(path, {"small"}, &out_, SIZE_MAX, kSmallLimits));
  EXPECT_TRUE(out_.empty());
  // At the limit itself all is well.
  std::string fits = zeroZip({{"small", 1000}, {"big", 4096}});
  ASSERT_TRUE(listZipEntries(fits, &entries_, kSmallLimits));
  EXPECT_EQ(4096, entries_[1].size);
  ASSERT_TRUE(extractZipEntries(fits, {"big", "small"}, &out_, SIZE_MAX, kSmallLimits));
  EXPECT_EQ(std::string(4096, '\0'), out_["big"]);
  EXPECT_EQ(1000u, out_["small"].size());
}

TEST_F(ZipLimitsTest, EntriesClaimingTooMuchTogetherRefuseTheArchive) {
  std::string path = zeroZip({{"a", 4000}, {"b", 4000}, {"c", 2001}});
  EXPECT_FALSE(listZipEntries(path, &entries_, kSmallLimits));
  EXPECT_FALSE(extractZipEntries(path, {"a"}, &out_, SIZE_MAX, kSmallLimits));
  std::string fits = zeroZip({{"a", 4000}, {"b", 4000}, {"c", 2000}});
  EXPECT_TRUE(listZipEntries(fits, &entries_, kSmallLimits));
  EXPECT_TRUE(extractZipEntries(fits, {"a", "b", "c"}, &out_, SIZE_MAX, kSmallLimits));
  EXPECT_EQ(3u, out_.size());
}

// An understated entry that ends within the reader's own buffer (some
// hundred KiB) is caught by the reader as damaged; the entries below are
// larger, so only the limits can stop them.

TEST_F(ZipLimitsTest, UnderstatedSizesAreCaughtWhileInflating) {
  std::string path = zeroZip({{"liar", 1 << 20}, {"honest", 10}});
  ASSERT_TRUE(testing::understateSizes(path, 100, "liar"));
  ASSERT_TRUE(listZipEntries(path, &entries_, kSmallLimits));
  ASSERT_EQ(2u, entries_.size());
  EXPECT_EQ(100, entries_[0].size);  // The header says 100 bytes.
  EXPECT_FALSE(extractZipEntries(path, {"liar", "honest"}, &out_, SIZE_MAX, kSmallLimits));
  EXPECT_TRUE(out_.empty());
  // Reading only the first bytes of an entry is a cut, not a refusal.
  ASSERT_TRUE(extractZipEntries(path, {"liar", "honest"}, &out_, 255, kSmallLimits));
  EXPECT_EQ(std::string(255, '\0'), out_["liar"]);
  EXPECT_EQ(std::string(10, '\0'), out_["honest"]);
}

TEST_F(ZipLimitsTest, AnUnderstatedEntryCountsTowardsTheTotal) {
  // Each entry is within its own limit; the last, claiming 10 bytes,
  // inflates past what the first two leave of the total.
  constexpr int64_t kMiB = 1 << 20;
  constexpr ZipLimits kLimits{2 * kMiB, 3 * kMiB};
  std::string path = zeroZip({{"a", kMiB}, {"b", kMiB}, {"c", kMiB + kMiB / 2}});
  ASSERT_TRUE(testing::understateSizes(path, 10, "c"));
  EXPECT_TRUE(extractZipEntries(path, {"a", "b"}, &out_, SIZE_MAX, kLimits));
  EXPECT_EQ(2u, out_.size());
  EXPECT_FALSE(extractZipEntries(path, {"a", "b", "c"}, &out_, SIZE_MAX, kLimits));
  EXPECT_TRUE(out_.empty());
}

/// Peak resident memory in KiB ("VmHWM"), 0 when unknown.
long peakResidentKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

/// Sets the peak back to the current resident size; false when the system
/// does not allow it.
bool resetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return clear.good();
}

TEST_F(ZipLimitsTest, ABombIsRefusedWithoutHoldingWhatItInflatesTo) {
  // 64 MiB of zeros in about 64 KiB: with its size stated, the listing
  // refuses it before anything is inflated.
  constexpr int64_t kBomb = int64_t{64} << 20;
  std::string path = zeroZip({{"new_16.png", kBomb}});
  std::string zip;
  ASSERT_TRUE(readWholeFile(path, &zip));
  EXPECT_LT(zip.size(), 1u << 20);
  EXPECT_FALSE(listZipEntries(path, &entries_));
  EXPECT_FALSE(extractZipEntries(path, {"new_16.png"}, &out_));
  // With the header claiming 4 KiB only the inflating stops it.
  ASSERT_TRUE(testing::understateSizes(path, 4096));
  ASSERT_TRUE(listZipEntries(path, &entries_));
  if (!resetPeakResident()) GTEST_SKIP() << "the peak resident size cannot be reset here";
  const long before = peakResidentKib();
  EXPECT_FALSE(extractZipEntries(path, {"new_16.png"}, &out_));
  const long grown_kib = peakResidentKib() - before;
  // Holding the entry would take 64 MiB; the limit lets at most 4 MiB in.
  EXPECT_LT(grown_kib, 24 * 1024) << "KiB";
  EXPECT_TRUE(out_.empty());
}

}  // namespace
}  // namespace pixolune
