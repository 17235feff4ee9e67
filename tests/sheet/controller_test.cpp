#include "sheet/controller.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "fakes.hpp"
#include "sheet/numeric.hpp"
#include "sheet/result_file.hpp"

namespace pellucor::sheet {
namespace {

using testing::FakeModule;
using testing::FakeView;
using testing::kNoPassesFile;
using testing::kNoPassesPane;
using Lines = std::vector<std::string>;

class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() : view({{Control::Option1, Control::Option2}}), ctl(module) { ctl.open(view); }

  // Fills every box that the fake module's checks need with a valid value.
  void fillValid() {
    for (auto [c, t] : {std::pair{Control::Text1, "2"},
                        {Control::Text2, "0.5"},
                        {Control::Text3, "20"},
                        {Control::Text4, "12"},
                        {Control::Text10, "10"}}) {
      view.edit(ctl, c, t);
    }
    view.texts[Control::Combo1] = std::string(kSteelItems[1]);
  }
  std::string text(Control c) const { return view.text(c); }
  bool enabled(Control c) const { return view.isEnabled(c); }
  bool lockedBoxesEnabled() const {
    return enabled(Control::Text7) && enabled(Control::Text8) && enabled(Control::Text9);
  }
  Lines report(const Lines& results) const {
    Lines out = {std::string(kResultsHeader), std::string(kEqualsLine)};
    out.insert(out.end(), results.begin(), results.end());
    return out;
  }

  FakeModule module;
  FakeView view;
  SheetController ctl;
};

TEST_F(ControllerTest, OpenPutsDefaultsWithoutChangeChecksAndPromptsText1) {
  for (const auto& f : module.table().fields) {
    EXPECT_EQ(text(f.control), "0.000") << control_name(f.control);
    EXPECT_TRUE(enabled(f.control));
  }
  // "0.000" in the change-checked boxes would have been emptied by a change check.
  EXPECT_TRUE(view.isSelected(Control::Option1));
  EXPECT_FALSE(view.isSelected(Control::Option2));
  EXPECT_EQ(text(Control::Combo1), "");
  EXPECT_FALSE(enabled(Control::CmdSave));
  EXPECT_TRUE(enabled(Control::CmdCal));
  EXPECT_TRUE(enabled(Control::CmdExit));
  EXPECT_EQ(view.pane, Lines{" p1"});
  EXPECT_EQ(view.focus, Control::Text1);
  EXPECT_EQ(ctl.focused(), Control::Text1);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(ctl.isOpen());
}

TEST_F(ControllerTest, FocusPrintsPromptsOfBoxesOptionsAndListOnly) {
  ctl.focusGained(Control::Text4);
  EXPECT_EQ(view.pane, (Lines{" p4a", " p4b"}));
  ctl.focusGained(Control::Option2);
  EXPECT_EQ(view.pane, Lines{" o2"});
  ctl.focusGained(Control::Combo1);
  EXPECT_EQ(view.pane, Lines{std::string(kComboPrompt)});
  for (Control c : {Control::CmdCal, Control::CmdSave, Control::CmdExit, Control::Picture1}) {
    ctl.focusGained(c);
    EXPECT_EQ(view.pane, Lines{std::string(kComboPrompt)}) << control_name(c);
    EXPECT_EQ(ctl.focused(), c);
  }
  // The same control again (the toolkit reporting a focus the controller set) prints nothing.
  ctl.focusGained(Control::Text2);
  view.pane.clear();
  ctl.focusGained(Control::Text2);
  EXPECT_TRUE(view.pane.empty());
}

struct LeaveCase {
  Control control;
  const char* text;
  bool ok;
  const char* after;    // the box's text afterwards
  const char* message;  // nullptr: no message
};

void PrintTo(const LeaveCase& k, std::ostream* os) {
  *os << control_name(k.control) << " \"" << k.text << '"';
}

class LeaveCheckTest : public ControllerTest, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(LeaveCheckTest, LeavingABox) {
  const LeaveCase& k = GetParam();
  ctl.focusGained(k.control);
  view.texts[k.control] = k.text;  // typed without change notification for boxes without one
  const Lines paneBefore = view.pane;
  view.focus = Control::None;
  EXPECT_EQ(ctl.leaving(k.control), k.ok);
  EXPECT_EQ(text(k.control), k.after);
  if (k.message == nullptr) {
    EXPECT_TRUE(view.messages.empty());
  } else {
    ASSERT_EQ(view.messages.size(), 1U);
    EXPECT_EQ(view.messages[0].text, k.message);
    EXPECT_EQ(view.messages[0].title, kTitleValidity);
    // The focus goes back without a new prompt: the pane keeps the last prompt.
    EXPECT_EQ(view.focus, k.control);
    EXPECT_EQ(ctl.focused(), k.control);
  }
  EXPECT_EQ(view.pane, paneBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, LeaveCheckTest,
    ::testing::Values(
        // range check: the default and an empty box fail, both bounds pass
        LeaveCase{Control::Text1, "0.000", false, "", "bad 1"},
        LeaveCase{Control::Text1, "", false, "", "bad 1"},
        LeaveCase{Control::Text1, "1", true, "1", nullptr},
        LeaveCase{Control::Text1, "5.5", true, "5.5", nullptr},
        LeaveCase{Control::Text1, "5.51", false, "", "bad 1"},
        LeaveCase{Control::Text1, "0.99", false, "", "bad 1"},
        LeaveCase{Control::Text1, "3 .5", true, "3 .5", nullptr},
        LeaveCase{Control::Text1, "1e999", false, "", "bad 1"},
        // zero blanking first: 0 empties silently, anything else is range-tested
        LeaveCase{Control::Text2, "0.000", true, "", nullptr},
        LeaveCase{Control::Text2, "abc", true, "", nullptr},
        LeaveCase{Control::Text2, "0.3", false, "", "bad 2"},
        LeaveCase{Control::Text2, "1.0", true, "1.0", nullptr},
        // zero blanking only: no range check on leaving
        LeaveCase{Control::Text6, "0.000", true, "", nullptr},
        LeaveCase{Control::Text6, "99", true, "99", nullptr},
        // no leave check at all
        LeaveCase{Control::Text7, "-4", true, "-4", nullptr},
        LeaveCase{Control::Text3, "0.000", true, "0.000", nullptr},
        // the steel-kind check works on the numeric value of the list's text
        LeaveCase{Control::Combo1, "", false, "1 圆钢筋",
                  "您没有选择钢筋种类！请从下拉列表中选择一种!"},
        LeaveCase{Control::Combo1, "0.9", false, "1 圆钢筋",
                  "您没有选择钢筋种类！请从下拉列表中选择一种!"},
        LeaveCase{Control::Combo1, "3.2", false, "1 圆钢筋",
                  "您没有选择钢筋种类！请从下拉列表中选择一种!"},
        LeaveCase{Control::Combo1, "2 变形钢筋", true, "2 变形钢筋", nullptr},
        LeaveCase{Control::Combo1, "3 墙板配筋", true, "3 墙板配筋", nullptr}));

TEST_F(ControllerTest, ZeroBlankingTheLockingBoxUnlocksTheDerivationBoxes) {
  view.type(ctl, Control::Text6, "5");
  ASSERT_FALSE(enabled(Control::Text7));
  view.texts[Control::Text6] = "0.000";  // set without notification
  EXPECT_TRUE(ctl.leaving(Control::Text6));
  EXPECT_EQ(text(Control::Text6), "");
  EXPECT_TRUE(lockedBoxesEnabled());
}

TEST_F(ControllerTest, RangeChangeCheckEmptiesZeroAndRejectsEveryKeystrokeOutOfRange) {
  ctl.focusGained(Control::Text3);
  view.edit(ctl, Control::Text3, "0");
  EXPECT_EQ(text(Control::Text3), "");
  EXPECT_TRUE(view.messages.empty());

  view.type(ctl, Control::Text3, "805");  // 8, 80 pass, 805 fails
  ASSERT_EQ(view.messages.size(), 1U);
  EXPECT_EQ(view.messages[0].text, "bad 3");
  EXPECT_EQ(view.messages[0].title, kTitleValidity);
  EXPECT_EQ(text(Control::Text3), "");
  EXPECT_EQ(view.focus, Control::Text3);
  EXPECT_EQ(view.pane, Lines{" p3"});
}

TEST_F(ControllerTest, LockingBoxFailsAtTheFirstIntermediateTextOutOfRange) {
  view.texts[Control::Text7] = "30";
  ctl.focusGained(Control::Text6);
  view.type(ctl, Control::Text6, "0.1", "");
  // "0" and "0." read as 0: the derivation boxes stay enabled and keep their texts.
  ASSERT_EQ(view.messages.size(), 1U);
  EXPECT_EQ(view.messages[0].text, "bad 6");
  EXPECT_EQ(text(Control::Text6), "");
  EXPECT_EQ(view.focus, Control::Text6);
  for (Control c : {Control::Text7, Control::Text8, Control::Text9}) {
    EXPECT_EQ(text(c), "") << control_name(c);
    EXPECT_FALSE(enabled(c)) << control_name(c);
  }
}

TEST_F(ControllerTest, LockingBoxLocksAtTheFirstNonZeroTextAndUnlocksAtZero) {
  view.texts[Control::Text7] = "30";
  view.type(ctl, Control::Text6, "0.");
  EXPECT_TRUE(lockedBoxesEnabled());
  EXPECT_EQ(text(Control::Text7), "30");
  view.edit(ctl, Control::Text6, "0.5");
  EXPECT_FALSE(enabled(Control::Text7) || enabled(Control::Text8) || enabled(Control::Text9));
  EXPECT_EQ(text(Control::Text7), "");
  view.edit(ctl, Control::Text6, "");
  EXPECT_TRUE(lockedBoxesEnabled());
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(ControllerTest, OutOfRangeCoefficientEndsWithEverythingEmptyAndLocked) {
  ctl.focusGained(Control::Text6);
  view.log.clear();
  view.edit(ctl, Control::Text6, "9");
  // Texts that are already empty are not set again, so the nested check runs once.
  EXPECT_EQ(view.log, (Lines{"message bad 6", "text Text6=", "focus Text6",
                             "text Text7=", "text Text8=", "text Text9="}));
  EXPECT_EQ(view.messages.size(), 1U);
  EXPECT_EQ(text(Control::Text6), "");
  EXPECT_TRUE(enabled(Control::Text6));
  EXPECT_EQ(view.focus, Control::Text6);
  for (Control c : {Control::Text7, Control::Text8, Control::Text9}) {
    EXPECT_EQ(text(c), "") << control_name(c);
    EXPECT_FALSE(enabled(c)) << control_name(c);
  }
}

TEST_F(ControllerTest, EitherOrValueEmptiesAndDisablesThePartnerBothWays) {
  view.type(ctl, Control::Text4, "12");
  EXPECT_EQ(text(Control::Text4), "12");
  EXPECT_EQ(text(Control::Text5), "");
  EXPECT_FALSE(enabled(Control::Text5));
  view.edit(ctl, Control::Text4, "1");
  view.edit(ctl, Control::Text4, "");
  EXPECT_TRUE(enabled(Control::Text5));
  EXPECT_TRUE(enabled(Control::Text4));

  view.type(ctl, Control::Text5, "2");
  EXPECT_EQ(text(Control::Text4), "");
  EXPECT_FALSE(enabled(Control::Text4));
  EXPECT_TRUE(enabled(Control::Text5));
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(ControllerTest, EitherOrOutOfRangeLeavesBothEmptyThisFocusedAndThePartnerDisabled) {
  ctl.focusGained(Control::Text4);
  view.type(ctl, Control::Text4, "7");
  view.log.clear();
  view.edit(ctl, Control::Text4, "70");
  // The nested checks end after one level: texts already empty are not set again.
  EXPECT_EQ(view.log, (Lines{"message bad 4", "text Text4=", "focus Text4"}));
  ASSERT_EQ(view.messages.size(), 1U);
  EXPECT_EQ(view.messages[0].text, "bad 4");
  EXPECT_EQ(text(Control::Text4), "");
  EXPECT_EQ(text(Control::Text5), "");
  EXPECT_TRUE(enabled(Control::Text4));
  EXPECT_FALSE(enabled(Control::Text5));
  EXPECT_EQ(view.focus, Control::Text4);
  // Editing the box back to zero frees the partner again.
  view.type(ctl, Control::Text4, "0");
  EXPECT_EQ(text(Control::Text4), "");
  EXPECT_TRUE(enabled(Control::Text5));
}

TEST_F(ControllerTest, CalculateReadsEverythingBeforeTheFirstCheck) {
  view.texts[Control::Text1] = "0.000";
  view.texts[Control::Text2] = "2,5";
  view.texts[Control::Text9] = " 1 2.5e1x";
  view.texts[Control::Combo1] = "2 变形钢筋";
  view.select(Control::Option2);
  ctl.focusGained(Control::Text9);
  const Lines paneBefore = view.pane;

  ctl.calculate();
  ASSERT_EQ(view.messages.size(), 1U);
  EXPECT_EQ(view.messages[0].text, "not entered 1");
  EXPECT_EQ(view.messages[0].title, kTitleInput);
  EXPECT_EQ(view.focus, Control::Text1);
  EXPECT_EQ(ctl.focused(), Control::Text1);
  EXPECT_EQ(view.pane, paneBefore);  // no prompt, no wait line
  EXPECT_FALSE(enabled(Control::CmdSave));
  EXPECT_EQ(module.runs, 0);

  const SheetInputs& in = ctl.inputs();
  EXPECT_EQ(in.box(1), 0.0);
  EXPECT_EQ(in.box(2), 2.0);
  EXPECT_EQ(in.box(9), 125.0);
  EXPECT_FALSE(in.option(1));
  EXPECT_TRUE(in.option(2));
  EXPECT_EQ(in.steelKind, 2);
  EXPECT_EQ(in.steelText, "2 变形钢筋");
  EXPECT_EQ(in.steelName, "变形钢筋      ");
}

TEST_F(ControllerTest, FailedChecksFocusTheirControlButAPlausibilityStopKeepsTheFocus) {
  fillValid();
  view.texts[Control::Combo1] = "";
  ctl.focusGained(Control::CmdCal);
  ctl.calculate();
  ASSERT_EQ(view.messages.size(), 1U);
  EXPECT_EQ(view.messages[0].text, kSteelKindNotEntered);
  EXPECT_EQ(view.focus, Control::Combo1);

  view.texts[Control::Combo1] = "1 圆钢筋";
  view.texts[Control::Text7] = "5";
  view.texts[Control::Text8] = "5";
  ctl.focusGained(Control::CmdCal);
  ctl.calculate();
  ASSERT_EQ(view.messages.size(), 2U);
  EXPECT_EQ(view.messages[1].text, kPlausibility);
  EXPECT_EQ(view.messages[1].title, kTitleInput);
  EXPECT_EQ(view.focus, Control::Combo1);  // not moved
  EXPECT_EQ(ctl.focused(), Control::CmdCal);
  EXPECT_EQ(module.runs, 0);
}

// A member's row reads numbers: no report is printed, neither per pass nor at the end, but the
// record is the same and Save writes the same block.
TEST_F(ControllerTest, WithoutAReportThePaneKeepsTheWaitLineAndTheRecordIsTheSame) {
  module.assumedTimes = {12.5, 7.25};
  fillValid();
  ctl.calculate();
  const auto withReport = ctl.lastRecord();
  const auto block = result_file_block(*ctl.lastReport());
  ASSERT_TRUE(withReport.has_value());

  ctl.setReportWanted(false);
  view.log.clear();
  EXPECT_TRUE(ctl.calculate().done());
  const Lines expected = {"clear", "print " + std::string(kWaitLine), "text Text10= 12.5",
                          "text Text10= 7.25"};
  EXPECT_EQ(view.log, expected);
  ASSERT_TRUE(ctl.lastRecord().has_value());
  ASSERT_EQ(ctl.lastRecord()->items.size(), withReport->items.size());
  for (std::size_t i = 0; i < withReport->items.size(); ++i) {
    EXPECT_EQ(ctl.lastRecord()->items[i].value, withReport->items[i].value);
    EXPECT_EQ(ctl.lastRecord()->items[i].text, withReport->items[i].text);
  }
  EXPECT_EQ(result_file_block(*ctl.lastReport()), block);
}

TEST_F(ControllerTest, IterationWritesTheAssumedTimeAndReprintsEveryPass) {
  module.assumedTimes = {12.5, 7.25};
  fillValid();
  view.type(ctl, Control::Text6, "2");  // locks Text7-9
  ctl.focusGained(Control::CmdCal);
  const Control focusBefore = view.focus;
  view.log.clear();
  ctl.calculate();

  const Lines pass1 = {"pass 1", result_line("t:", 25, " a")};
  const Lines pass2 = {"pass 2", result_line("t:", 14.5, " a")};
  Lines expected = {"clear", "print " + std::string(kWaitLine), "text Text10= 12.5", "clear"};
  for (const auto& l : report(pass1)) expected.push_back("print " + l);
  expected.insert(expected.end(), {"text Text10= 7.25", "clear"});
  for (const auto& l : report(pass2)) expected.push_back("print " + l);
  EXPECT_EQ(view.log, expected);  // the final report is not printed a third time

  EXPECT_EQ(view.pane, report(pass2));
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(enabled(Control::CmdSave));
  EXPECT_TRUE(enabled(Control::Text5));
  EXPECT_TRUE(lockedBoxesEnabled());
  EXPECT_EQ(view.focus, focusBefore);  // calculate does not move the focus
  ASSERT_TRUE(ctl.lastReport().has_value());
  EXPECT_EQ(ctl.lastReport()->pane, pass2);
}

TEST_F(ControllerTest, CalculationWithoutPassesPrintsItsReportOnce) {
  fillValid();
  ctl.calculate();
  EXPECT_EQ(view.pane, report(kNoPassesPane));
  EXPECT_EQ(text(Control::Text10), "10");
  EXPECT_TRUE(enabled(Control::CmdSave));
}

TEST_F(ControllerTest, PlausibilityStopLeavesPaneSaveAndRecordAlone) {
  module.assumedTimes = {3};
  fillValid();
  ctl.calculate();
  ASSERT_TRUE(enabled(Control::CmdSave));
  const Report first = *ctl.lastReport();

  module.assumedTimes = {4, 5};
  module.stopAfterPasses = 1;
  view.edit(ctl, Control::Text1, "3");
  view.type(ctl, Control::Text4, "7");  // disables Text5
  ctl.focusGained(Control::CmdCal);
  ctl.calculate();
  ASSERT_EQ(view.messages.size(), 1U);
  EXPECT_EQ(view.messages[0].text, kPlausibility);
  EXPECT_EQ(view.messages[0].title, kTitleInput);
  EXPECT_EQ(view.pane, report({"pass 1", result_line("t:", 8, " a")}));  // what it showed
  EXPECT_TRUE(enabled(Control::CmdSave));
  EXPECT_FALSE(enabled(Control::Text5));  // nothing enabled by a stopped calculation
  EXPECT_EQ(view.focus, Control::Text1);
  EXPECT_EQ(ctl.lastReport()->echo, first.echo);
  EXPECT_EQ(ctl.inputs().box(1), 3.0);
}

TEST_F(ControllerTest, PlausibilityStopOnAFreshSheetKeepsSaveDisabled) {
  module.assumedTimes = {4};
  module.stopAfterPasses = 0;
  fillValid();
  ctl.calculate();
  EXPECT_EQ(view.pane, Lines{std::string(kWaitLine)});
  EXPECT_FALSE(enabled(Control::CmdSave));
  EXPECT_FALSE(ctl.lastReport().has_value());
}

class SaveTest : public ControllerTest {
 protected:
  SaveTest() {
    dir = std::filesystem::temp_directory_path() /
          ("pellucor_save_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  ~SaveTest() override { std::filesystem::remove_all(dir); }

  static std::string read(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // The GBK bytes of a block as the fake module's report gives it, for Text1 = m.
  static std::string block(const std::string& m, const std::string& stress) {
    const std::string eq(59, '=');
    return eq + "\r\n" + "\xBC\xC6\xCB\xE3\xB2\xCE\xCA\xFD\xC8\xE7\xCF\xC2:\r\n" + "m= " + m +
           " ,name=\xB1\xE4\xD0\xCE\xB8\xD6\xBD\xEE      \r\n" + "stress=" + stress + "\r\n" +
           std::string(59, '-') + "\r\n" + "\xBC\xC6\xCB\xE3\xBD\xE1\xB9\xFB\xC8\xE7\xCF\xC2:\r\n" +
           kNoPassesFile[0] + "\r\n" + kNoPassesFile[1] + "\r\n" + eq + "\r\n";
  }

  std::filesystem::path dir;
};

TEST_F(SaveTest, NothingToSaveBeforeACompletedCalculation) {
  view.saveAnswer = (dir / "a.DAT").string();
  ctl.save();
  EXPECT_TRUE(view.dialogs.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "a.DAT"));
}

TEST_F(SaveTest, AppendsTheBlockAndReprintsTheResults) {
  fillValid();
  ctl.calculate();
  const auto path = dir / "r.DAT";
  view.saveAnswer = "  " + path.string() + "  ";
  ctl.focusGained(Control::CmdSave);
  ctl.save();
  ctl.save();
  ASSERT_EQ(view.dialogs.size(), 2U);
  EXPECT_EQ(view.dialogs[0], "保存数据|*.DAT|DAT");
  EXPECT_EQ(ctl.fileName(), path.string());
  EXPECT_EQ(read(path), block("2", "first") + block("2", "first"));
  EXPECT_EQ(view.pane, report(kNoPassesPane));
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(SaveTest, CancelOrBlankNameWritesNothingButStillReprints) {
  fillValid();
  ctl.calculate();
  for (std::optional<std::string> answer :
       {std::optional<std::string>(), std::optional<std::string>("   ")}) {
    ctl.focusGained(Control::Text1);  // the pane shows a prompt now
    view.saveAnswer = answer;
    ctl.save();
    EXPECT_EQ(view.pane, report(kNoPassesPane));
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir));
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(SaveTest, UnwritablePathIsReportedAndTheSheetStaysUsable) {
  fillValid();
  ctl.calculate();
  const std::string path = (dir / "missing" / "r.DAT").string();
  view.saveAnswer = path;
  const SaveOutcome failed = ctl.save();
  EXPECT_EQ(failed.status, SaveOutcome::Status::Failed);
  ASSERT_TRUE(failed.failure.has_value());
  EXPECT_EQ(failed.failure->reason, WriteFailure::Reason::MissingFolder);
  ASSERT_EQ(view.messages.size(), 1U);
  EXPECT_EQ(view.messages[0].text, failed.message);
  EXPECT_EQ(view.messages[0].text, "无法写入文件 " + path + "（文件夹不存在），数据未保存!");
  EXPECT_EQ(view.messages[0].title, kSaveDialogTitle);
  EXPECT_EQ(view.pane, report(kNoPassesPane));
  EXPECT_TRUE(enabled(Control::CmdSave));

  view.saveAnswer = (dir / "ok.DAT").string();
  EXPECT_TRUE(ctl.save().saved());
  EXPECT_EQ(read(dir / "ok.DAT"), block("2", "first"));
}

TEST_F(SaveTest, SaveWritesTheLastCompletedCalculationNotInputsOfAStoppedOne) {
  fillValid();
  ctl.calculate();
  // A later Calculate reads new inputs and stops at a not-entered check ...
  view.edit(ctl, Control::Text1, "4.5");
  view.select(Control::Option2);
  view.texts[Control::Text10] = "";
  ctl.calculate();
  ASSERT_EQ(view.messages.size(), 1U);
  EXPECT_EQ(ctl.inputs().box(1), 4.5);
  // ... and one more stops in the model.
  view.texts[Control::Text10] = "10";
  module.assumedTimes = {3};
  module.stopAfterPasses = 0;
  ctl.calculate();
  ASSERT_EQ(view.messages.size(), 2U);

  view.saveAnswer = (dir / "s.DAT").string();
  ctl.save();
  EXPECT_EQ(read(dir / "s.DAT"), block("2", "first"));
  EXPECT_EQ(view.pane, report(kNoPassesPane));
}

TEST_F(SaveTest, PathLongerThanFortyCharactersIsUsedWhole) {
  fillValid();
  ctl.calculate();
  const auto path = dir / "a-result-file-name-well-beyond-forty-characters.DAT";
  ASSERT_GT(path.string().size(), 40U);
  view.saveAnswer = path.string();
  ctl.save();
  EXPECT_EQ(read(path), block("2", "first"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(ControllerTest, ExitClosesAndReopeningRestoresTheDefaultsButKeepsTheRecord) {
  fillValid();
  view.type(ctl, Control::Text6, "3");
  ctl.calculate();
  view.type(ctl, Control::Text4, "5");  // disables Text5 after the calculation
  ASSERT_TRUE(ctl.lastReport().has_value());
  EXPECT_TRUE(ctl.exit());
  EXPECT_FALSE(ctl.exit());  // nothing left to close
  EXPECT_TRUE(view.closed);
  EXPECT_FALSE(ctl.isOpen());
  EXPECT_EQ(ctl.focused(), Control::None);

  // Events after closing change nothing.
  const auto logSize = view.log.size();
  ctl.focusGained(Control::Text2);
  ctl.calculate();
  EXPECT_TRUE(ctl.leaving(Control::Text1));
  EXPECT_EQ(view.log.size(), logSize);

  FakeView fresh({{Control::Option1, Control::Option2}});
  fresh.enabled[Control::CmdSave] = true;
  ctl.open(fresh);
  for (const auto& f : module.table().fields) {
    EXPECT_EQ(fresh.text(f.control), "0.000") << control_name(f.control);
    EXPECT_TRUE(fresh.isEnabled(f.control)) << control_name(f.control);
  }
  EXPECT_FALSE(fresh.isEnabled(Control::CmdSave));
  EXPECT_EQ(fresh.pane, Lines{" p1"});
  EXPECT_EQ(ctl.focused(), Control::Text1);
  ASSERT_TRUE(ctl.lastReport().has_value());
  EXPECT_EQ(ctl.lastReport()->pane, kNoPassesPane);
  EXPECT_EQ(ctl.inputs().box(6), 3.0);
}

// A sheet of its own for each case of a table.
struct OpenSheet {
  explicit OpenSheet(ResultFileWriter& writer = default_result_file_writer())
      : ctl(module, writer) {
    ctl.open(view);
  }
  OpenSheet(const OpenSheet&) = delete;
  OpenSheet& operator=(const OpenSheet&) = delete;

  void fillValid() {
    for (auto [c, t] :
         {std::pair{Control::Text1, "2"}, {Control::Text4, "12"}, {Control::Text10, "10"}}) {
      view.edit(ctl, c, t);
    }
    view.texts[Control::Combo1] = std::string(kSteelItems[1]);
  }

  FakeModule module;
  FakeView view{{{Control::Option1, Control::Option2}}};
  SheetController ctl;
};

struct CalculateCase {
  const char* name;
  std::function<void(OpenSheet&)> setUp;
  CalculateOutcome::Status status;
  Control control;
  std::string_view message;
  std::string_view title;
  std::optional<model::StopReason> reason;
  bool reportKept;  // lastReport() holds a report afterwards
};

TEST(CalculateOutcomeTest, SaysWhatTheCalculationCameTo) {
  using S = CalculateOutcome::Status;
  const std::vector<CalculateCase> cases = {
      {"not entered", [](OpenSheet& s) { s.view.texts[Control::Text1] = ""; }, S::CheckFailed,
       Control::Text1, "not entered 1", kTitleInput, std::nullopt, false},
      {"no steel kind", [](OpenSheet& s) { s.view.texts[Control::Combo1] = ""; }, S::CheckFailed,
       Control::Combo1, kSteelKindNotEntered, kTitleInput, std::nullopt, false},
      {"inconsistent inputs",
       [](OpenSheet& s) {
         s.view.texts[Control::Text7] = "5";
         s.view.texts[Control::Text8] = "5";
       },
       S::CheckFailed, Control::None, kPlausibility, kTitleInput, std::nullopt, false},
      {"model stop in a pass",
       [](OpenSheet& s) {
         s.module.assumedTimes = {4, 5};
         s.module.stopAfterPasses = 1;
       },
       S::Stopped, Control::None, kPlausibility, kTitleInput, model::StopReason::ZeroRate, false},
      {"iteration without end",
       [](OpenSheet& s) {
         s.module.assumedTimes = {4, 5};
         s.module.stopAfterPasses = 2;
       },
       S::Stopped, Control::None, kPlausibility, kTitleInput, model::StopReason::PassLimit, false},
      {"closed during the check message",
       [](OpenSheet& s) {
         s.view.texts[Control::Text10] = "";
         s.view.onMessage = [&s] { s.ctl.closed(); };
       },
       S::Closed, Control::Text10, "not entered 10", kTitleInput, std::nullopt, false},
      {"closed during the stop message",
       [](OpenSheet& s) {
         s.module.assumedTimes = {4};
         s.module.stopAfterPasses = 0;
         s.view.onMessage = [&s] { s.ctl.closed(); };
       },
       S::Closed, Control::None, kPlausibility, kTitleInput, model::StopReason::ZeroRate, false},
      {"done",
       [](OpenSheet& s) {
         s.module.assumedTimes = {4, 5};
       },
       S::Done, Control::None, "", "", std::nullopt, true},
      {"not open", [](OpenSheet& s) { s.ctl.exit(); }, S::NotOpen, Control::None, "", "",
       std::nullopt, false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    OpenSheet s;
    s.fillValid();
    k.setUp(s);
    const auto messagesBefore = s.view.messages.size();
    const CalculateOutcome out = s.ctl.calculate();
    EXPECT_EQ(out.status, k.status);
    EXPECT_EQ(out.done(), k.status == S::Done);
    EXPECT_EQ(out.control, k.control);
    EXPECT_EQ(out.message, k.message);
    EXPECT_EQ(out.title, k.title);
    EXPECT_EQ(out.reason, k.reason);
    EXPECT_EQ(s.ctl.lastReport().has_value(), k.reportKept);
    // The outcome's message is the one the user saw, and the only one.
    if (k.message.empty()) {
      EXPECT_EQ(s.view.messages.size(), messagesBefore);
    } else {
      ASSERT_EQ(s.view.messages.size(), messagesBefore + 1);
      EXPECT_EQ(s.view.messages.back().text, k.message);
      EXPECT_EQ(s.view.messages.back().title, k.title);
    }
  }
}

// Keeps the blocks it is given in memory and fails when told to.
class RecordingWriter : public ResultFileWriter {
 public:
  std::optional<WriteFailure> append(const std::string& path,
                                     const std::vector<std::string>& lines) override {
    calls.push_back({path, lines});
    return failure;
  }

  struct Call {
    std::string path;
    std::vector<std::string> lines;
  };
  std::vector<Call> calls;
  std::optional<WriteFailure> failure;
};

struct SaveCase {
  const char* name;
  bool calculated;
  std::function<void(OpenSheet&, RecordingWriter&)> setUp;
  SaveOutcome::Status status;
  std::string path;  // as the outcome and the writer have it
  bool written;      // the writer was called
  bool reprinted;    // the pane shows the results again afterwards
};

TEST(SaveOutcomeTest, SaysWhatTheSaveCameToAndWritesThroughTheGivenWriter) {
  using S = SaveOutcome::Status;
  WriteFailure full;
  full.reason = WriteFailure::Reason::DiskFull;
  full.error = 28;
  const std::vector<SaveCase> cases = {
      {"saved", true, [](OpenSheet& s, RecordingWriter&) { s.view.saveAnswer = " r.DAT "; },
       S::Saved, "r.DAT", true, true},
      {"failed", true,
       [&full](OpenSheet& s, RecordingWriter& w) {
         s.view.saveAnswer = "r.DAT";
         w.failure = full;
       },
       S::Failed, "r.DAT", true, true},
      {"closed during the failure message", true,
       [&full](OpenSheet& s, RecordingWriter& w) {
         s.view.saveAnswer = "r.DAT";
         w.failure = full;
         s.view.onMessage = [&s] { s.ctl.closed(); };
       },
       S::Closed, "r.DAT", true, false},
      {"dialog cancelled", true, [](OpenSheet&, RecordingWriter&) {}, S::Cancelled, "", false,
       true},
      {"blank name", true, [](OpenSheet& s, RecordingWriter&) { s.view.saveAnswer = "   "; },
       S::Cancelled, "", false, true},
      {"closed during the dialog", true,
       [](OpenSheet& s, RecordingWriter&) {
         s.view.saveAnswer = "r.DAT";
         s.view.onDialog = [&s] { s.ctl.closed(); };
       },
       S::Closed, "", false, false},
      {"nothing calculated", false,
       [](OpenSheet& s, RecordingWriter&) { s.view.saveAnswer = "r.DAT"; }, S::NothingToSave, "",
       false, false},
      {"not open", true,
       [](OpenSheet& s, RecordingWriter&) {
         s.view.saveAnswer = "r.DAT";
         s.ctl.exit();
       },
       S::NotOpen, "", false, false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    RecordingWriter writer;
    OpenSheet s(writer);
    s.fillValid();
    if (k.calculated) {
      ASSERT_TRUE(s.ctl.calculate().done());
    }
    k.setUp(s, writer);
    s.ctl.focusGained(Control::Text2);  // the pane shows a prompt now
    const auto messagesBefore = s.view.messages.size();
    const Lines paneBefore = s.view.pane;

    const SaveOutcome out = s.ctl.save();
    EXPECT_EQ(out.status, k.status);
    EXPECT_EQ(out.saved(), k.status == S::Saved);
    EXPECT_EQ(out.path, k.path);
    ASSERT_EQ(writer.calls.size(), k.written ? 1U : 0U);
    if (k.written) {
      EXPECT_EQ(writer.calls[0].path, k.path);
      EXPECT_EQ(writer.calls[0].lines, result_file_block(*s.ctl.lastReport()));
    }
    EXPECT_EQ(out.failure, k.written ? writer.failure : std::nullopt);
    if (out.failure) {
      const std::string expected = "无法写入文件 r.DAT（磁盘已满），数据未保存!";
      EXPECT_EQ(out.message, expected);
      EXPECT_EQ(out.title, kSaveDialogTitle);
      ASSERT_EQ(s.view.messages.size(), messagesBefore + 1);
      EXPECT_EQ(s.view.messages.back().text, expected);
      EXPECT_EQ(s.view.messages.back().title, kSaveDialogTitle);
    } else {
      EXPECT_EQ(out.message, "");
      EXPECT_EQ(s.view.messages.size(), messagesBefore);
    }
    Lines results = {std::string(kResultsHeader), std::string(kEqualsLine)};
    results.insert(results.end(), kNoPassesPane.begin(), kNoPassesPane.end());
    EXPECT_EQ(s.view.pane, k.reprinted ? results : paneBefore);
  }
}

}  // namespace
}  // namespace pellucor::sheet
