#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/profile/profile.h"

namespace fs = std::filesystem;
namespace profile = platform::profile;

namespace {

class ProfileTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("tvprofile-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    file_ = (dir_ / "Parameter.ini").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string get(const char* section, const char* key, const char* def, std::size_t size = 64) {
    std::vector<char> buf(size, 'x');
    const std::size_t n = profile::getString(section, key, def, buf.data(), size, file_.c_str());
    EXPECT_EQ(n, std::strlen(buf.data()));
    return buf.data();
  }
  std::string contents() const {
    std::ifstream in(file_);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void writeFile(const std::string& text) { std::ofstream(file_) << text; }
  void writeReadsBack(const std::string& text);

  fs::path dir_;
  std::string file_;
};

// The keys of the operator program's parameter file, in the order it writes them.
std::vector<std::string> parameterKeys() {
  std::vector<std::string> keys{"MaxSpeed"};
  auto perAxis = [&](const char* name) {
    for (int a = 0; a < 4; ++a)
      keys.push_back(std::string(name) + "(" + std::to_string(a) + ")");
  };
  for (const char* k : {"HighLimit", "LowLimit", "OverTravelUp", "OverTravelDown", "EncoderType",
                        "ABPhaseSwap", "PulseMode"})
    perAxis(k);
  for (const char* k :
       {"CoordinateMode", "AccelerationCurve", "DecelerationCurve", "AccTime", "DecTime"})
    keys.emplace_back(k);
  for (const char* k : {"HomeType", "SensorMode", "FindHome", "LeftHome"})
    perAxis(k);
  return keys;
}

}  // namespace

TEST_F(ProfileTest, DefaultsForMissingFileSectionAndKey) {
  EXPECT_EQ(get("Parameter", "MaxSpeed", "50000"), "50000");  // no file
  writeFile("[Other]\nMaxSpeed=7\n");
  EXPECT_EQ(get("Parameter", "MaxSpeed", "50000"), "50000");  // no section
  writeFile("[Parameter]\nAccTime=150\n");
  EXPECT_EQ(get("Parameter", "MaxSpeed", "50000"), "50000");  // no key
  EXPECT_EQ(get("Parameter", "AccTime", "200"), "150");
  EXPECT_EQ(get("Parameter", "Missing", nullptr), "");
}

TEST_F(ProfileTest, ReadTakesAtMostSizeMinusOneCharacters) {
  writeFile("[Parameter]\nHighLimit(0)=123456789012\n");
  EXPECT_EQ(get("Parameter", "HighLimit(0)", "0", 10), "123456789");
  EXPECT_EQ(get("Parameter", "HighLimit(0)", "0", 1), "");
  EXPECT_EQ(get("Parameter", "Nope", "abcdefghijkl", 10), "abcdefghi");  // defaults too
  char untouched = 'q';
  EXPECT_EQ(profile::getString("Parameter", "HighLimit(0)", "0", &untouched, 0, file_.c_str()), 0u);
  EXPECT_EQ(untouched, 'q');
}

TEST_F(ProfileTest, SectionAndKeyNamesIgnoreCase) {
  writeFile("[Parameter]\nMaxSpeed=42\n");
  EXPECT_EQ(get("PARAMETER", "maxspeed", "0"), "42");
}

TEST_F(ProfileTest, WriteCreatesTheFileAndRoundTripsEveryParameterKeyInOrder) {
  const auto keys = parameterKeys();
  ASSERT_EQ(keys.size(), 50u);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    ASSERT_TRUE(profile::writeString("Parameter", keys[i].c_str(),
                                     std::to_string(i * 7 - 20).c_str(), file_.c_str()));
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(get("Parameter", keys[i].c_str(), "none"), std::to_string(i * 7 - 20)) << keys[i];
  }
  // The file holds one section and the keys in the order they were written,
  // as plain key=value lines.
  std::istringstream lines(contents());
  std::string line;
  std::vector<std::string> seen;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    if (line.front() == '[') {
      EXPECT_EQ(line, "[Parameter]");
      continue;
    }
    seen.push_back(line.substr(0, line.find('=')));
    EXPECT_EQ(line.find(' '), std::string::npos) << line;
  }
  EXPECT_EQ(seen, keys);
}

TEST_F(ProfileTest, WriteKeepsEveryOtherSectionKeyAndComment) {
  writeFile(
      "; machine A\n"
      "[Parameter]\n"
      "MaxSpeed=50000\n"
      "; per axis\n"
      "HighLimit(0)=100000\n"
      "[Operator]\n"
      "Name=Ana\n");
  ASSERT_TRUE(profile::writeString("Parameter", "MaxSpeed", "60000", file_.c_str()));
  ASSERT_TRUE(profile::writeString("Parameter", "LowLimit(0)", "-5", file_.c_str()));
  EXPECT_EQ(contents(),
            "; machine A\n"
            "[Parameter]\n"
            "MaxSpeed=60000\n"
            "; per axis\n"
            "HighLimit(0)=100000\n"
            "LowLimit(0)=-5\n"
            "[Operator]\n"
            "Name=Ana\n");
}

// A write that could not read back as written is refused instead of
// reported as done: a line break, '=' in the key, blanks at either end of
// the section, key or value (reads trim them), a key read as a comment.
TEST_F(ProfileTest, WritesThatWouldNotReadBackAreRefused) {
  EXPECT_FALSE(profile::writeString("Parameter", "MaxSpeed", "1\nInjected=2", file_.c_str()));
  EXPECT_FALSE(profile::writeString("Parameter", "Max=Speed", "1", file_.c_str()));
  EXPECT_FALSE(profile::writeString("Parameter", " MaxSpeed", "1", file_.c_str()));
  EXPECT_FALSE(profile::writeString("Parameter\t", "MaxSpeed", "1", file_.c_str()));
  EXPECT_FALSE(profile::writeString("Parameter", "MaxSpeed", "1 ", file_.c_str()));
  EXPECT_FALSE(profile::writeString("Parameter", ";MaxSpeed", "1", file_.c_str()));
  EXPECT_FALSE(profile::writeString("Parameter", "#MaxSpeed", "1", file_.c_str()));
  EXPECT_FALSE(fs::exists(file_));
  ASSERT_TRUE(profile::writeString("Parameter", "Max Speed", "1 2", file_.c_str()));
  EXPECT_EQ(get("Parameter", "Max Speed", "none"), "1 2");
}

TEST_F(ProfileTest, WriteIntoAMissingDirectoryFailsAndLeavesNothing) {
  const std::string bad = (dir_ / "no" / "such" / "Parameter.ini").string();
  EXPECT_FALSE(profile::writeString("Parameter", "MaxSpeed", "1", bad.c_str()));
  EXPECT_FALSE(fs::exists(bad));
  EXPECT_FALSE(profile::writeString(nullptr, "MaxSpeed", "1", file_.c_str()));
}

// Sets HighLimit(0) in section Axis of a file holding `text`, twice: the key
// reads back each time, is changed in place the second time rather than
// added again, and every other key keeps the value it read before.
void ProfileTest::writeReadsBack(const std::string& text) {
  {
    std::ofstream out(file_, std::ios::binary | std::ios::trunc);
    out << text;
  }
  const char* keys[] = {"LowLimit(0)", "MaxSpeed", "AccTime"};
  std::vector<std::string> before;
  for (const char* k : keys)
    before.push_back(get("Axis", k, "none"));
  const std::string shown = testing::PrintToString(text);
  ASSERT_TRUE(profile::writeString("Axis", "HighLimit(0)", "42", file_.c_str())) << shown;
  EXPECT_EQ(get("Axis", "HighLimit(0)", "none"), "42") << shown;
  for (std::size_t i = 0; i < std::size(keys); ++i)
    EXPECT_EQ(get("Axis", keys[i], "none"), before[i]) << keys[i] << " in " << shown;
  ASSERT_TRUE(profile::writeString("Axis", "HighLimit(0)", "43", file_.c_str())) << shown;
  EXPECT_EQ(get("Axis", "HighLimit(0)", "none"), "43") << shown;
  const std::string c = contents();
  EXPECT_EQ(c.find("HighLimit(0)="), c.rfind("HighLimit(0)=")) << testing::PrintToString(c);
}

// Reads and writes take the same lines for section headers: a lone "[", an
// unclosed "[Other" or a stray "]" is neither a header nor a key to either.
TEST_F(ProfileTest, OddSectionLinesReadTheSameForReadsAndWrites) {
  for (const std::string text :
       {"[\n[Axis]\nLowLimit(0)=-1\n", "[Axis]\nLowLimit(0)=-1\n[\nMaxSpeed=9\n",
        "[Axis]\nLowLimit(0)=-1\n[Other\nMaxSpeed=9\n]\nAccTime=3\n", "[", "[Axis]\n[\n"})
    writeReadsBack(text);
  // An unclosed header does not start a section: its keys stay in Axis.
  EXPECT_EQ(get("Axis", "MaxSpeed", "none"), "none");
  writeReadsBack("[Axis]\nLowLimit(0)=-1\n[Other\nMaxSpeed=9\n");
  EXPECT_EQ(get("Axis", "MaxSpeed", "none"), "9");
}

// A NUL byte is an ordinary character of its line for reads and writes alike;
// the lines after it are read, and kept by a write.
TEST_F(ProfileTest, NulBytesReadTheSameForReadsAndWrites) {
  const std::string nul(1, '\0');
  for (const std::string& text :
       {"[Axis]\nLowLimit(0)=-1\n" + nul + "MaxSpeed=9\n",
        "[Axis]\nLowLimit(0)=-1" + nul + "junk\nMaxSpeed=9\n[" + nul + "]\nAccTime=3\n", nul,
        "[Axis]" + nul + "\nMaxSpeed=9\n"})
    writeReadsBack(text);
  writeReadsBack("[Axis]\n" + nul + "\nMaxSpeed=9\n");
  EXPECT_EQ(get("Axis", "MaxSpeed", "none"), "9");
  EXPECT_NE(contents().find(nul), std::string::npos) << "the NUL line is kept";
}

// A path that names a folder is no profile: reads give the defaults (the INI
// reader used to be handed the folder and asked for an impossible buffer)
// and writes fail without touching it.
TEST_F(ProfileTest, AFolderReadsAsDefaultsAndIsNotWritten) {
  fs::create_directories(file_);
  EXPECT_EQ(get("Parameter", "MaxSpeed", "50000"), "50000");
  EXPECT_FALSE(profile::read("Parameter", "MaxSpeed", file_));
  EXPECT_FALSE(profile::writeString("Parameter", "MaxSpeed", "1", file_.c_str()));
  EXPECT_TRUE(fs::is_directory(file_));
}
