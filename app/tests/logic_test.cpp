// The operator program's pure pieces, without widgets: arithmetic, text
// entry, list lines, arc geometry, the runner's calls, the machine record and
// the settings sequence (through the recording stand-in of the library), the
// parameter file, the machine file and the choice of card.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cmath>
#include <numbers>

#include "binding/motion_library.h"
#include "machine/card_choice.h"
#include "machine/machine_file.h"
#include "recorder.h"
#include "run/geometry.h"
#include "run/list_text.h"
#include "run/posting.h"
#include "run/settings.h"
#include "run/text_entry.h"
#include "run/units.h"
#include "state/parameter_file.h"

namespace tervane {
namespace {

TEST(Units, PulsesAndPeriodsRoundAsTheFormsNeed) {
  EXPECT_EQ(wholeUnits(999), 1);    // 999 / 500 = 1.998, fraction dropped
  EXPECT_EQ(wholeUnits(-999), -1);  // towards zero
  EXPECT_EQ(wholeUnits(100000), 200);
  EXPECT_EQ(wholeUnits(749.5), 1);  // 749.5 rounds to 750 (even): 1.5 -> 1
  EXPECT_EQ(periodsOf(150), 30);
  EXPECT_EQ(periodsOf(152), 30);
  EXPECT_EQ(periodsOf(157), 31);
  EXPECT_EQ(periodsOf(2), 0);   // 0.4
  EXPECT_EQ(periodsOf(12), 2);  // 2.4
  EXPECT_EQ(periodsOf(2147483647), 429496729);
  EXPECT_DOUBLE_EQ(speedRatio(250000), 100);
  EXPECT_DOUBLE_EQ(speedRatio(300000), 100);
  EXPECT_DOUBLE_EQ(speedRatio(2000), 1);  // 0.8 limited
  EXPECT_DOUBLE_EQ(speedRatio(0), 1);
  EXPECT_DOUBLE_EQ(speedRatio(93750), 37.5);
  EXPECT_EQ(ratioArgument(37.5), 38);
  EXPECT_EQ(ratioArgument(36.5), 36);
  EXPECT_EQ(delayPeriods(99999), 19999800);
  EXPECT_EQ(twipsToPixels(10400, 96), 693);
  EXPECT_EQ(twipsToPixels(5870, 96), 391);
  EXPECT_DOUBLE_EQ(toUnits(1234), 2.468);
}

TEST(TextEntry, BoxesTakeTheirKeysUpToTheirLength) {
  EXPECT_EQ(filtered(u"12a3", kMaxSpeedKeys), QStringLiteral("123"));  // a paste is filtered
  EXPECT_EQ(filtered(u"-5", kMaxSpeedKeys), QStringLiteral("5"));
  EXPECT_EQ(filtered(u"-5", kLowLimitKeys), QStringLiteral("-5"));
  EXPECT_EQ(filtered(u"12345678", kMaxSpeedKeys), QStringLiteral("12345678"));
  EXPECT_FALSE(filtered(u"123456789", kMaxSpeedKeys));  // one key too many
  EXPECT_TRUE(filtered(u"-12345678", kLowLimitKeys));
  EXPECT_FALSE(filtered(u"123456", kDelayKeys));
  EXPECT_EQ(filtered(u" 1 2 ", kDelayKeys), QStringLiteral("12"));

  EXPECT_EQ(parseInt32(u"2147483647"), 2147483647);
  EXPECT_FALSE(parseInt32(u"2147483648"));
  EXPECT_EQ(parseInt32(u"-2147483648"), -2147483647 - 1);
  EXPECT_FALSE(parseInt32(u"9999999999"));
  for (const char16_t* bad : {u"", u"-", u"1-2", u"--1", u"12a", u"1.5"})
    EXPECT_FALSE(parseInt32(bad)) << QString::fromUtf16(bad).toStdString();
  EXPECT_EQ(parseNumber(u"-100000"), -100000);
  EXPECT_EQ(parseNumber(u"2.5"), 2.5);
  for (const char16_t* bad : {u"", u"-", u"5-", u"1e3", u"abc", u"1.2.3"})
    EXPECT_FALSE(parseNumber(bad)) << QString::fromUtf16(bad).toStdString();
  EXPECT_EQ(valueOrZero(u"-"), 0);
  EXPECT_EQ(valueOrZero(u"20000"), 20000);
  EXPECT_EQ(plainNumber(-999), QStringLiteral("-999"));
  EXPECT_EQ(plainNumber(-0.0), QStringLiteral("0"));
  EXPECT_EQ(plainNumber(1.5), QStringLiteral("1.5"));
}

TEST(ListText, NumbersAfterCommasWithABlankBeforeTheNonNegative) {
  EXPECT_EQ(listLine(MoveType::Line, {1000, 20000, 20000, 5, 5, 1}),
            QStringLiteral("Line, 1000, 20000, 20000"));
  EXPECT_EQ(listLine(MoveType::Circle, {1000, 20000, 20000, 10000, 0, 1}),
            QStringLiteral("Circle, 1000, 10000, 0, 20000, 20000, 1"));
  EXPECT_EQ(listLine(MoveType::Arc, {500, -20000, 0, 10000, -10000, 0}),
            QStringLiteral("Arc, 500, 10000,-10000,-20000, 0"));
}

TEST(ArcCentre, CircleThroughThreePointsInIntegerSteps) {
  const auto c = arcCentre({0, 0}, {10000, 10000}, {20000, 0});
  ASSERT_TRUE(std::holds_alternative<IntPoint>(c));
  EXPECT_EQ(std::get<IntPoint>(c), (IntPoint{10000, 0}));
  // From an offset start: the same circle moved.
  EXPECT_EQ(std::get<IntPoint>(arcCentre({5000, -7000}, {15000, 3000}, {25000, -7000})),
            (IntPoint{15000, -7000}));
  // Collinear: the via point on the end, at the start, or on the line.
  EXPECT_EQ(std::get<ArcFailure>(arcCentre({0, 0}, {20000, 0}, {20000, 0})), ArcFailure::Collinear);
  EXPECT_EQ(std::get<ArcFailure>(arcCentre({0, 0}, {0, 0}, {20000, 0})), ArcFailure::Collinear);
  EXPECT_EQ(std::get<ArcFailure>(arcCentre({0, 0}, {10000, 10000}, {30000, 30000})),
            ArcFailure::Collinear);
  // 32-bit steps: u.u overflows just above sqrt(2^31 / 2) per coordinate,
  // a cross product of 46341 x 46341 does.
  EXPECT_TRUE(std::holds_alternative<IntPoint>(arcCentre({0, 0}, {32000, 32000}, {40000, 0})));
  EXPECT_EQ(std::get<ArcFailure>(arcCentre({0, 0}, {0, 46341}, {46341, 0})), ArcFailure::Overflow);
  EXPECT_EQ(std::get<ArcFailure>(arcCentre({0, 0}, {33000, 33000}, {1, 0})), ArcFailure::Overflow);
  EXPECT_EQ(std::get<ArcFailure>(arcCentre({2147483000, 0}, {-2147483000, 5}, {0, 9})),
            ArcFailure::Overflow);
}

TEST(ArcThrough, SweepsFromTheStartPastTheViaPointToTheEnd) {
  using std::numbers::pi;
  // Centre (10000, 0): start (0, 0) is at pi; via (10000, 10000) at pi/2;
  // end (20000, 0) at 0. Passing the top means clockwise: -pi.
  ArcSweep a = arcThrough(10000, 0, {0, 0}, {10000, 10000}, {20000, 0});
  EXPECT_NEAR(a.start, pi, 1e-12);
  EXPECT_NEAR(a.sweep, -pi, 1e-12);
  a = arcThrough(10000, 0, {0, 0}, {10000, -10000}, {20000, 0});
  EXPECT_NEAR(a.sweep, pi, 1e-12);
  // Three quarters counter-clockwise: via at the bottom, end at the top.
  a = arcThrough(0, 0, {10000, 0}, {0, -10000}, {0, 10000});
  EXPECT_NEAR(a.sweep, -1.5 * pi, 1e-12);
}

// A recording library bound for the calls these tests watch.
class Recorded : public ::testing::Test {
 protected:
  void SetUp() override {
    vnl_recorder::reset();
    lib_.setFatalHandler([](const std::string& why) { FAIL() << why; });
  }
  MotionLibrary lib_{TV_RECORDER_FILE};
};

TEST_F(Recorded, ThePosterRetriesTheRefusedCallAndSkipsNothing) {
  // The queue takes three calls, refuses the next twice, then takes the rest.
  int refusals = 0;
  std::vector<std::pair<std::string, double>> taken;
  auto answer = [&](const vnl_recorder::Call& c) -> double {
    if (taken.size() == 3 && refusals < 2) {
      ++refusals;
      return VNL_ERR_QUEUE_FULL;
    }
    taken.emplace_back(c.name, c.arg(0));
    return static_cast<double>(taken.size());
  };
  for (const char* name : {"VNL_Line", "VNL_DelayMotion"})
    vnl_recorder::setHandler(name, answer);
  Poster poster(repeatPass(2, 4, 6, 50), true);
  EXPECT_EQ(poster.postSome(lib_, 10), Poster::Outcome::QueueFull);
  EXPECT_EQ(poster.posted(), 3u);
  EXPECT_EQ(poster.postSome(lib_, 10), Poster::Outcome::QueueFull);
  EXPECT_EQ(poster.postSome(lib_, 5), Poster::Outcome::Posted);
  EXPECT_EQ(poster.posted(), 8u);
  EXPECT_EQ(refusals, 2);
  // There, pause, back, pause, twice: the refused pause was posted once, in
  // its place, so the axes come back to where they started.
  using Taken = std::vector<std::pair<std::string, double>>;
  const Taken pass{
      {"VNL_Line", 2}, {"VNL_DelayMotion", 50}, {"VNL_Line", -2}, {"VNL_DelayMotion", 50}};
  Taken twice = pass;
  twice.insert(twice.end(), pass.begin(), pass.end());
  EXPECT_EQ(taken, twice);
  const auto lines = vnl_recorder::callsOf("VNL_Line");
  EXPECT_EQ(lines[0].arg(1), 4);
  EXPECT_EQ(lines[0].arg(2), 6);
  EXPECT_EQ(lines[1].arg(2), -6);
}

TEST_F(Recorded, TheRunnerPostsEveryEntryAtItsFeedInUnits) {
  CommandList list;
  list.add({MoveType::Line, 1000, 20000, 20000, 0, 0, 0});
  list.add({MoveType::Circle, 2500, 0, 0, 10000, -5000, 1});
  list.add({MoveType::Arc, 500, 20000, 0, 10000, 10000, 0});
  Poster poster(listCalls(list), false);
  EXPECT_EQ(poster.postSome(lib_, 100), Poster::Outcome::Done);
  const std::vector<std::string> names{"VNL_SetFeedSpeed", "VNL_Line",         "VNL_SetFeedSpeed",
                                       "VNL_CircleXY",     "VNL_SetFeedSpeed", "VNL_ArcXY"};
  EXPECT_EQ(vnl_recorder::names(), names);
  const auto calls = vnl_recorder::calls();
  EXPECT_EQ(calls[0].arg(0), 2);
  EXPECT_EQ(calls[1].args.size(), 7u);
  EXPECT_EQ(calls[1].arg(0), 40);
  EXPECT_EQ(calls[1].arg(1), 40);
  EXPECT_EQ(calls[1].arg(2), 0);
  EXPECT_EQ(calls[1].arg(6), 0);  // group 0
  EXPECT_EQ(calls[2].arg(0), 5);
  EXPECT_EQ(calls[3].arg(0), 20);
  EXPECT_EQ(calls[3].arg(1), -10);
  EXPECT_EQ(calls[3].arg(2), 1);   // counter-clockwise
  EXPECT_EQ(calls[5].arg(0), 20);  // the via point first, then the end
  EXPECT_EQ(calls[5].arg(1), 20);
  EXPECT_EQ(calls[5].arg(2), 40);
  EXPECT_EQ(calls[5].arg(3), 0);
}

MachineParameters someParameters() {
  MachineParameters p;
  p.maxSpeed = 50000;
  p.maxSpeedUnits = 100;
  for (int a = 0; a < kScreenAxes; ++a) {
    p.highLimitUnits[a] = 200 + a;
    p.lowLimitUnits[a] = -200 - a;
    p.pulseMode[a] = 1;
    p.encoderType[a] = static_cast<int16_t>(a);
    p.abPhaseSwap[a] = a == 2;
    p.homeType[a] = 2;
    p.findHomeDirection[a] = 1;
    p.leaveHomeDirection[a] = 0;
    p.homeSensorMode[a] = 1;
    p.overTravelUp[a] = 2;
  }
  p.inPositionCheck = 1;
  p.coordinateMode = 1;
  p.softwareLimitCheck = {1, 0, 1, 0};
  p.hardwareLimitCheck = 1;
  p.accelerationSteps = 40;
  p.decelerationSteps = 30;
  p.accelerationType = 'S';
  p.decelerationType = 'T';
  return p;
}

TEST_F(Recorded, SettingSendsSixRecordsFieldByFieldThenTheSequenceOnceRunning) {
  const MachineParameters p = someParameters();
  sendMachineParameters(lib_, p, false);
  auto names = vnl_recorder::names();
  ASSERT_EQ(names.size(), 7u);
  EXPECT_EQ(names[0], "VNL_SetSysMaxSpeed");
  EXPECT_EQ(vnl_recorder::calls()[0].arg(0), 100);
  const auto records = vnl_recorder::callsOf("VNL_SetMachParam");
  ASSERT_EQ(records.size(), 6u);
  for (int axis = 0; axis < 6; ++axis) {
    const auto& call = records[axis];
    EXPECT_EQ(call.arg(1), axis);
    EXPECT_EQ(call.arg(2), 0);
    ASSERT_TRUE(call.machineParam);
    const MACHINE_PARAM& r = *call.machineParam;
    const bool shown = axis < 4;
    EXPECT_EQ(r.wDirReverse, 0);
    EXPECT_EQ(r.wRPM, 30000);
    EXPECT_EQ(r.dwPPR, 500u);
    EXPECT_EQ(r.dfPitch, 1.0);
    EXPECT_EQ(r.dfGearRatio, 1.0);
    EXPECT_EQ(r.dfHighLimit, shown ? 200 + axis : 0);
    EXPECT_EQ(r.dfLowLimit, shown ? -200 - axis : 0);
    EXPECT_EQ(r.dfHighLimitOffset, 5.0);
    EXPECT_EQ(r.dfLowLimitOffset, -5.0);
    EXPECT_EQ(r.wPulseMode, shown ? 1 : 0);
    EXPECT_EQ(r.wPulseWidth, 25);
    EXPECT_EQ(r.wCommandMode, 0);
    EXPECT_EQ(r.HomeConfig.wType, shown ? 2 : 0);
    EXPECT_EQ(r.HomeConfig.wPhase0Dir, shown ? 1 : 0);
    EXPECT_EQ(r.HomeConfig.wPhase1Dir, 0);
    EXPECT_EQ(r.HomeConfig.wSensorMode, shown ? 1 : 0);
    EXPECT_EQ(r.HomeConfig.dfHomeOffset, 0.0);
    EXPECT_EQ(r.EncoderConfig.wType, shown ? axis : 0);
    EXPECT_EQ(r.EncoderConfig.wAInverse + r.EncoderConfig.wBInverse + r.EncoderConfig.wCInverse, 0);
    EXPECT_EQ(r.EncoderConfig.wABSwap, axis == 2 ? 1 : 0);
    EXPECT_EQ(r.wOverTravelUpSensorMode, 0);  // the form's choice stays in the file
    EXPECT_EQ(r.wOverTravelDownSensorMode, 0);
  }

  vnl_recorder::clearCalls();
  sendMachineParameters(lib_, p, true);
  names = vnl_recorder::names();
  const std::vector<std::string> sequence{
      "VNL_UpdateMachParam", "VNL_EnableInPos",        "VNL_SetInPosTolerance",
      "VNL_SetAbsolute",     "VNL_SetOverTravelCheck", "VNL_EnableLimitSwitchCheck",
      "VNL_SetUnit",         "VNL_SetAccStep",         "VNL_SetAccType",
      "VNL_SetDecStep",      "VNL_SetDecType",         "VNL_SetPtPAccStep",
      "VNL_SetPtPAccType",   "VNL_SetPtPDecStep",      "VNL_SetPtPDecType"};
  ASSERT_EQ(names.size(), 7 + sequence.size());
  EXPECT_EQ(std::vector<std::string>(names.begin() + 7, names.end()), sequence);
  const auto calls = vnl_recorder::calls();
  auto args = [&](const char* name) {
    std::vector<double> v;
    for (const auto& c : calls)
      if (c.name == name)
        for (const auto& a : c.args)
          v.push_back(a.value);
    return v;
  };
  EXPECT_EQ(args("VNL_SetInPosTolerance"), (std::vector<double>{100, 100, 100, 100, 0, 0, 0}));
  EXPECT_EQ(args("VNL_SetOverTravelCheck"), (std::vector<double>{1, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(args("VNL_EnableLimitSwitchCheck"), (std::vector<double>{1}));
  EXPECT_EQ(args("VNL_SetUnit"), (std::vector<double>{1, 0}));
  EXPECT_EQ(args("VNL_SetAccStep"), (std::vector<double>{40, 0}));
  EXPECT_EQ(args("VNL_SetAccType"), (std::vector<double>{'S', 0}));
  EXPECT_EQ(args("VNL_SetDecType"), (std::vector<double>{'T', 0}));
  EXPECT_EQ(args("VNL_SetPtPAccType"), (std::vector<double>{'S', 'S', 'S', 'S', 0, 0, 0}));
  EXPECT_EQ(args("VNL_SetPtPDecStep"), (std::vector<double>{30, 30, 30, 30, 0, 0, 0}));

  // Relative and in-position off: VNL_SetIncrease, no in-position calls.
  MachineParameters relative = p;
  relative.coordinateMode = 0;
  relative.inPositionCheck = 0;
  vnl_recorder::clearCalls();
  sendSettings(lib_, relative);
  EXPECT_EQ(vnl_recorder::names().front(), "VNL_SetIncrease");
  EXPECT_TRUE(vnl_recorder::callsOf("VNL_EnableInPos").empty());
}

TEST(Binding, EveryNameOfBothLibrariesIsInTheTable) {
  for (const char* file : {TV_RECORDER_FILE, TV_MOTION_LIBRARY_FILE}) {
    MotionLibrary lib(file);
    std::string fatal;
    lib.setFatalHandler([&](const std::string& why) { fatal = why; });
    ASSERT_TRUE(lib.bind()) << fatal;
    EXPECT_EQ(lib.resolvedNames(), MotionLibrary::tableSize()) << file;
  }
  EXPECT_EQ(MotionLibrary::tableSize(), 310);
  MotionLibrary missing("/nonexistent/libvarnelpci.so");
  std::string reason;
  missing.setFatalHandler([&](const std::string& why) { reason = why; });
  EXPECT_EQ(missing.InitSystem(5, nullptr, 0), VNL_ERR_NOT_READY);
  EXPECT_NE(reason.find("/nonexistent/libvarnelpci.so"), std::string::npos) << reason;
  // Without a handler of its own the program says why and ends with status 1.
  EXPECT_EXIT(MotionLibrary("/nonexistent/libvarnelpci.so").CloseSystem(),
              ::testing::ExitedWithCode(1),
              "Cannot load the motion library: .*nonexistent/libvarnelpci.so");
}

// ---------------------------------------------------------------- files

class Files : public ::testing::Test {
 protected:
  QString path(const char* name) const { return dir_.filePath(QLatin1String(name)); }
  QString write(const char* name, const QString& text) {
    QFile f(path(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toLatin1());
    return path(name);
  }
  static QString read(const QString& file) {
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QString::fromLatin1(f.readAll());
  }
  QTemporaryDir dir_;
};

TEST_F(Files, AMissingFileGivesTheDefaultsAndWriteAllWritesEveryKeyInOrder) {
  const ParameterTexts t = loadParameterFile(path("Parameter.ini"));
  EXPECT_TRUE(t.replaced.isEmpty());
  EXPECT_EQ(t.value("MaxSpeed"), QStringLiteral("50000"));
  EXPECT_EQ(t.value("HighLimit(3)"), QStringLiteral("100000"));
  EXPECT_EQ(t.value("LowLimit(0)"), QStringLiteral("-100000"));
  EXPECT_EQ(t.value("PulseMode(2)"), QStringLiteral("1"));
  EXPECT_EQ(t.value("AccTime"), QStringLiteral("200"));
  EXPECT_EQ(parameterKeys().size(), 1u + 4 * 7 + 5 + 4 * 4);

  MachineParameters p = someParameters();
  p.highLimit = {999, 100000, 1, 2};
  p.lowLimit = {-999, -100000, -1, -2};
  p.accelerationTime = 152;
  const QString file = dir_.filePath(QStringLiteral("new/folder/Parameter.ini"));
  ASSERT_FALSE(saveParameterFile(file, p));
  const QStringList lines = read(file).split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), static_cast<int>(parameterKeys().size()) + 1);
  EXPECT_EQ(lines[0], QStringLiteral("[Parameter]"));
  for (std::size_t i = 0; i < parameterKeys().size(); ++i)
    EXPECT_TRUE(lines[int(i) + 1].startsWith(parameterKeys()[i].name + u'='))
        << lines[int(i) + 1].toStdString();
  EXPECT_TRUE(lines.contains(QStringLiteral("HighLimit(0)=999")));
  EXPECT_TRUE(lines.contains(QStringLiteral("LowLimit(0)=-999")));
  EXPECT_TRUE(lines.contains(QStringLiteral("AccTime=152")));
  EXPECT_TRUE(lines.contains(QStringLiteral("CoordinateMode=1")));
  EXPECT_EQ(loadParameterFile(file).value("HighLimit(0)"), QStringLiteral("999"));
  EXPECT_TRUE(QDir(dir_.filePath("new/folder")).entryList(QDir::Files) ==
              QStringList{QStringLiteral("Parameter.ini")});  // no temporary file left
}

TEST_F(Files, JunkInTheFileReadsAsNineCharactersOrTheDefault) {
  const QString file = write("Parameter.ini",
                             "; kept\n[Other]\nMaxSpeed=1\n[Parameter]\n"
                             "MaxSpeed=123456789012\nHighLimit(0)=12x\nLowLimit(1)=-5000\n"
                             "LowLimit(2)=--5\nPulseMode(0)=7\nPulseMode(1)=2\nEncoderType(3)=-1\n"
                             "AccTime=99999999999\nDecTime=0150\nHomeType(2)=2\n");
  const ParameterTexts t = loadParameterFile(file);
  EXPECT_EQ(t.value("MaxSpeed"), QStringLiteral("123456789"));  // its first 9 characters
  EXPECT_EQ(t.value("HighLimit(0)"), QStringLiteral("100000"));
  EXPECT_EQ(t.value("LowLimit(1)"), QStringLiteral("-5000"));
  EXPECT_EQ(t.value("LowLimit(2)"), QStringLiteral("-100000"));
  EXPECT_EQ(t.value("PulseMode(0)"), QStringLiteral("1"));
  EXPECT_EQ(t.value("PulseMode(1)"), QStringLiteral("2"));
  EXPECT_EQ(t.value("EncoderType(3)"), QStringLiteral("0"));
  EXPECT_EQ(t.value("AccTime"), QStringLiteral("999999999"));  // 9 characters, a 32-bit value
  EXPECT_EQ(t.value("DecTime"), QStringLiteral("0150"));
  EXPECT_EQ(t.value("HomeType(2)"), QStringLiteral("2"));
  EXPECT_EQ(t.replaced,
            (QStringList{"HighLimit(0)", "LowLimit(2)", "EncoderType(3)", "PulseMode(0)"}));
  // Writing keeps the other section and the comment.
  ASSERT_FALSE(saveParameterFile(file, someParameters()));
  const QString text = read(file);
  EXPECT_TRUE(text.startsWith(QStringLiteral("; kept\n[Other]\nMaxSpeed=1\n[Parameter]\n")));
  EXPECT_TRUE(text.contains(QStringLiteral("\nMaxSpeed=50000\n")));
}

TEST_F(Files, AFileThatCannotBeWrittenIsReportedAndLeftAsItWas) {
  const QString readOnly = write("ro.ini", "[Parameter]\nMaxSpeed=7\n");
  ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
  const auto error = saveParameterFile(readOnly, someParameters());
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->contains(QStringLiteral("read-only")));
  EXPECT_EQ(read(readOnly), QStringLiteral("[Parameter]\nMaxSpeed=7\n"));

  ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.ini")));
  EXPECT_TRUE(saveParameterFile(path("folder.ini"), someParameters()));
  EXPECT_EQ(loadParameterFile(path("folder.ini")).value("MaxSpeed"), QStringLiteral("50000"));
}

TEST_F(Files, TheMachineFileChangesSensorsAndRefusesWhatItCannotUse) {
  const QString good = write("machine.ini",
                             "[Axis1]\nHomePosition=-3000\nHomeLevel=1\nUpperLimit=none\n"
                             "IndexPhase=-2400\n");
  const auto read = readMachineFile(good);
  ASSERT_TRUE(std::holds_alternative<Machine>(read)) << std::get<QString>(read).toStdString();
  const Machine m = std::get<Machine>(read);
  EXPECT_EQ(m[0], AxisSensors{});
  EXPECT_EQ(m[1].homePosition, -3000);
  EXPECT_EQ(m[1].homeLevel, 1u);
  EXPECT_FALSE(m[1].upperLimit);
  EXPECT_EQ(m[1].lowerLimit, -120000);
  EXPECT_EQ(m[1].indexPhase, -2400);

  const QString bad = write("bad.ini", "[Axis2]\nHomeLevel=2\nLowerLimit=far\n");
  const auto refused = readMachineFile(bad);
  ASSERT_TRUE(std::holds_alternative<QString>(refused));
  EXPECT_TRUE(std::get<QString>(refused).contains(QStringLiteral("HomeLevel=2")));
  EXPECT_TRUE(std::get<QString>(refused).contains(QStringLiteral("LowerLimit=far")));
  EXPECT_TRUE(std::holds_alternative<QString>(readMachineFile(path("missing.ini"))));
}

TEST(CardChoice, ARealCardIsNeverTheVirtualOne) {
  EXPECT_FALSE(chooseCard("usb"));
  const auto virtualCard = chooseCard("virtual");
  ASSERT_TRUE(virtualCard);
  EXPECT_FALSE(virtualCard->real);
  EXPECT_EQ(virtualCard->cardType, 2);
  // No card of the two models in this machine: a real card is asked for, so
  // the choice says why none can be driven instead of taking the virtual one.
  const auto real = chooseCard("linux");
  ASSERT_TRUE(real);
  EXPECT_TRUE(real->real);
  EXPECT_FALSE(real->problem.empty());
  EXPECT_TRUE(real->card.empty());
  EXPECT_FALSE(chooseCard("virtual")->real);  // and the virtual card is back for the others
}

}  // namespace
}  // namespace tervane
