// The console mode's command line end to end: inputs as a shell and a script
// hand them over, options and their values, profiles.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/psd_writer.h"
#include "support/test_util.h"

namespace pixolune::testing {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(in());
    fs::create_directories(out());
    fs::create_directories(home());
  }
  std::string in() const { return dir_.file("in"); }
  std::string out() const { return dir_.file("out"); }
  std::string home() const { return dir_.file("home"); }
  void writeRgb(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    PsdDocument doc = makeDocument(PsdMode::kRgb, 8, 6, 4, 0, [](int c, int x, int y) { return 30.0 * c + 10 * x + y; });
    ASSERT_TRUE(writePsdFile(path, doc));
  }
  RunResult run(const std::vector<std::string>& args) { return runPixolune(args, dir_.path(), home()); }
  // Runs `script` in sh with "$P" naming the program, in the test folder.
  RunResult shell(const std::string& script) {
    RunEnvironment environment;
    environment.program = "/bin/bash";
    environment.variables.push_back({"P", PIXOLUNE_BINARY});
    return runPixolune({"-c", script}, dir_.path(), home(), environment);
  }
  TempDir dir_;
};

TEST_F(CommandLineTest, EveryInputOfAGlobIsConverted) {
  for (int n = 1; n <= 11; ++n) writeRgb(in() + "/d" + std::to_string(n) + ".psd");
  RunResult r = shell("\"$P\" -i in/*.psd -o out");
  EXPECT_EQ(0, r.exit_code) << r.out << r.err;
  EXPECT_TRUE(contains(r.out, "Files converted: 11 of 11\n")) << r.out;
  for (int n = 1; n <= 11; ++n) EXPECT_TRUE(fs::exists(out() + "/d" + std::to_string(n) + ".png")) << n;
}

TEST_F(CommandLineTest, RepeatedInputsAndBareArgumentsConvertInTheOrderGiven) {
  writeRgb(in() + "/c.psd");
  writeRgb(in() + "/a.psd");
  writeRgb(in() + "/b.psd");
  RunResult r = run({"-d", "-i", in() + "/c.psd", "-o", out(), in() + "/a.psd", "--input=" + in() + "/b.psd"});
  EXPECT_EQ(0, r.exit_code) << r.err;
  const size_t c = r.out.find("Processing: " + in() + "/c.psd"), a = r.out.find("Processing: " + in() + "/a.psd"),
               b = r.out.find("Processing: " + in() + "/b.psd");
  ASSERT_NE(std::string::npos, b) << r.out;
  EXPECT_LT(c, a);
  EXPECT_LT(a, b);
  EXPECT_TRUE(contains(r.out, "Files converted: 3 of 3\n"));
  // Without -o each goes beside its input, folder by folder, with one total.
  writeRgb(dir_.file("other/d.psd"));
  RunResult beside = run({"-q", in() + "/a.psd", dir_.file("other/d.psd"), in() + "/b.psd"});
  EXPECT_EQ(0, beside.exit_code) << beside.err;
  EXPECT_TRUE(fs::exists(in() + "/a.png") && fs::exists(in() + "/b.png") && fs::exists(dir_.file("other/d.png")));
  EXPECT_TRUE(contains(run({in() + "/a.psd", dir_.file("other/d.psd")}).out, "Files converted: 2 of 2\n"));
}

TEST_F(CommandLineTest, UnknownOptionsAreRefusedWithTheClosestName) {
  writeRgb(in() + "/a.psd");
  RunResult r = run({"-i", in() + "/a.psd", "-o", out(), "--widht=50", "--height=50"});
  EXPECT_EQ(1, r.exit_code);
  EXPECT_EQ("Error: unknown option --widht (did you mean --width?)\n", r.err);
  EXPECT_EQ("Error: unknown option --dry-run\n", run({"--dry-run", "--format=webp", in()}).err);
  EXPECT_FALSE(fs::exists(out() + "/a.png"));
}

TEST_F(CommandLineTest, BadValuesAreRefusedNamingTheOptionAndWhatItAccepts) {
  writeRgb(in() + "/a.psd");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--width=-5", "invalid value \"-5\" for --width: expected a whole number (or a percentage such as 50%) from 1 to 100000"},
      {"--width=50px", "invalid value \"50px\" for --width: expected a whole number (or a percentage such as 50%) from 1 to 100000"},
      {"--resize-algorithm=lanczso", "invalid value \"lanczso\" for --resize-algorithm: expected one of box, bilinear, "
                                     "bspline, bicubic, catmullrom, lanczos"},
      {"--png-compression=zlib7", "invalid value \"zlib7\" for --png-compression: expected one of none, zlib1, zlib6, zlib9"},
      {"--png-compression=lzw", "invalid value \"lzw\" for --png-compression: expected one of none, zlib1, zlib6, zlib9"},
      {"--rotation=abc", "invalid value \"abc\" for --rotation: expected a whole number from 0 to 360"},
      {"--rotation=nan", "invalid value \"nan\" for --rotation: expected a whole number from 0 to 360"},
      {"--threshold=-1", "invalid value \"-1\" for --threshold: expected a whole number from 0 to 255"},
      {"--gamma=inf", "invalid value \"inf\" for --gamma: expected a decimal number from 0.01 to 9.99"},
      {"--gamma=NaN", "invalid value \"NaN\" for --gamma: expected a decimal number from 0.01 to 9.99"},
      {"--invert=yes", "invalid value \"yes\" for --invert: expected 0 or 1 (or no value)"},
      {"--fit=100", "invalid value \"100\" for --fit: expected WIDTHxHEIGHT in pixels, each from 1 to 100000"},
      {"--jobs=0", "invalid value \"0\" for --jobs: expected a whole number from 1 to 256"},
  };
  for (const auto& [option, error] : cases) {
    RunResult r = run({"-i", in() + "/a.psd", "-o", out(), option});
    EXPECT_EQ(1, r.exit_code) << option;
    EXPECT_EQ("Error: " + error + "\n", r.err);
  }
  EXPECT_FALSE(fs::exists(out() + "/a.png"));
}

TEST_F(CommandLineTest, FlagsTakeZeroOrOneAndValuesMayFollowAsTheNextArgument) {
  writeRgb(in() + "/a.psd");
  RunResult plain = run({"-q", "-i", in() + "/a.psd", "-o", out(), "--invert=0"});
  ASSERT_EQ(0, plain.exit_code) << plain.err;
  EXPECT_EQ(30 + 10 * 2 + 3, readImage(out() + "/a.png").at(2, 3)[1]);
  RunResult inverted = run({"-q", "-i", in() + "/a.psd", "-o", out(), "--invert=1"});
  ASSERT_EQ(0, inverted.exit_code) << inverted.err;
  EXPECT_EQ(255 - (30 + 10 * 2 + 3), readImage(out() + "/a.png").at(2, 3)[1]);

  RunResult spaced = run({"-q", "-i", in() + "/a.psd", "-o", out(), "--width", "3", "--height", "50%"});
  ASSERT_EQ(0, spaced.exit_code) << spaced.err;
  Pixels px = readImage(out() + "/a.png");
  EXPECT_EQ(3, px.width);
  EXPECT_EQ(2, px.height);  // 50% of 4
}

TEST_F(CommandLineTest, HelpAnywhereAndVersion) {
  RunResult help = run({"-i", in(), "--width=5", "-h"});
  EXPECT_EQ(0, help.exit_code);
  EXPECT_TRUE(contains(help.out, "Usage: pixolune [options] [-i] INPUT...\n"));
  EXPECT_TRUE(contains(help.out, "  -c png, --conversion=png  Set output format (this build writes png)\n"));
  EXPECT_FALSE(contains(help.out, "jpg"));
  RunResult version = run({"--version"});
  EXPECT_EQ("pixolune 2.8\n", version.out);
  EXPECT_EQ(0, version.exit_code);
}

TEST_F(CommandLineTest, ListsFromStandardInputByLinesOrNulSeparated) {
  writeRgb(in() + "/a b.psd");
  writeRgb(in() + "/c.psd");
  RunResult lines = shell("printf 'in/a b.psd\\nin/c.psd\\n' | \"$P\" -q -i - -o out");
  EXPECT_EQ(0, lines.exit_code) << lines.err;
  EXPECT_TRUE(fs::exists(out() + "/a b.png") && fs::exists(out() + "/c.png"));
  fs::remove_all(out());
  fs::create_directories(out());
  RunResult nul = shell("find in -name '*.psd' -print0 | \"$P\" --null -i - -o out");
  EXPECT_EQ(0, nul.exit_code) << nul.err;
  EXPECT_TRUE(contains(nul.out, "Files converted: 2 of 2\n")) << nul.out;
  // A pipe named by a path is a list too.
  RunResult named = shell("\"$P\" -q -o out -i <(printf 'in/c.psd\\n')");
  EXPECT_EQ(0, named.exit_code) << named.err;
}

TEST_F(CommandLineTest, AFileWithoutExtensionIsADocument) {
  writeRgb(in() + "/noext");
  RunResult r = run({"-q", "-i", in() + "/noext"});
  EXPECT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ(6, readImage(in() + "/noext.png").width);
}

TEST_F(CommandLineTest, AMissingListEntryFailsAndIsNamed) {
  writeRgb(in() + "/a.psd");
  writeText(dir_.file("list.txt"), in() + "/a.psd\n" + in() + "/gone.psd\n");
  RunResult r = run({"-i", dir_.file("list.txt"), "-o", out()});
  EXPECT_EQ(2, r.exit_code);
  EXPECT_TRUE(contains(r.out, "Files converted: 1 of 2\n")) << r.out;
  EXPECT_EQ("pixolune: " + in() + "/gone.psd: cannot be decoded as a Photoshop document: the file does not exist\n",
            r.err);
  EXPECT_TRUE(fs::exists(out() + "/a.png"));
}

TEST_F(CommandLineTest, ProfilesWarnOfUnknownKeysAndRefuseBadValues) {
  writeRgb(in() + "/a.psd");
  writeText(dir_.file("p.ini"), "[CLI]\n; sizes\n--GREYSCAEL = 1\n--INVERT = 1\n");
  RunResult r = run({"-q", "-i", in() + "/a.psd", "-o", out(), "--profile=p.ini"});
  EXPECT_EQ(0, r.exit_code) << r.err;
  EXPECT_EQ("pixolune: p.ini:3: unknown key --GREYSCAEL (did you mean --GREYSCALE?), ignored\n", r.err);
  EXPECT_EQ(255 - (30 + 10 * 2 + 3), readImage(out() + "/a.png").at(2, 3)[1]);

  writeText(dir_.file("bad.ini"), "[CLI]\r\n--WIDTH = 10\r\n--RESIZE-ALGORITHM = lanczso\r\n");
  RunResult bad = run({"-q", "-i", in() + "/a.psd", "-o", out(), "--profile=bad.ini"});
  EXPECT_EQ(1, bad.exit_code);
  EXPECT_EQ("Error: bad.ini:3: invalid value \"lanczso\" for --RESIZE-ALGORITHM: expected one of box, bilinear, "
            "bspline, bicubic, catmullrom, lanczos\n",
            bad.err);
}

}  // namespace
}  // namespace pixolune::testing
