// The project the desktop program has open: one structure with its members, their inspection
// data and fits, and the settings of its assessment and reliability analysis. There is always
// exactly one (an untitled, empty one at the start); the 工程 menu makes a new one, opens,
// saves and saves it under another name, and lists the projects opened last. Every window that
// reads or changes the project is given the session, which the main window owns:
//
//   ProjectSession& s = ...;                           // install_project_menu() made it
//   const auto& p = s.project();                        // read
//   s.update([](Project& p) { p.structure.name = "桥"; });    // change: marks it unsaved
//   connect(&s, &ProjectSession::projectChanged, ...);   // after every change (and a new one)
//   connect(&s, &ProjectSession::projectReplaced, ...);  // a new or opened project
//
// Members are known by an id that stays with them while the project is open (their place in
// the list changes when another member is removed). Nothing that is not saved is dropped
// without asking: a new or opened project, and the end of the program, first ask whether the
// changes are to be saved; saving over a file that opened with parts it could not read (or
// that a newer version wrote) asks first too. No member goes into the project with texts its
// own sheet refuses (a box's text that is not a number, a value out of the box's range): such a
// change is refused with a message naming the member and the boxes; a file may still bring
// such a member, which is kept as it was typed and named when it opens.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "analysis/batch/case_runner.hpp"
#include "analysis/project/project.hpp"

class QMenu;

namespace pellucor::shell {

class AnalysisActions;
class MainWindow;
class QtSheetView;

inline constexpr const char* kProjectTitle = "工程";
// How many projects the recent-projects list keeps.
inline constexpr int kRecentProjects = 8;

class ProjectSession final : public QObject {
  Q_OBJECT

 public:
  using MemberId = std::uint64_t;

  // The session of `main`'s project; the project's windows open reliability analyses through
  // `analysis`, the analysis menu of the same window.
  ProjectSession(MainWindow& main, AnalysisActions& analysis);
  ~ProjectSession() override;

  MainWindow& mainWindow() const { return main_; }
  AnalysisActions& analysis() const { return analysis_; }
  const analysis::project::Project& project() const { return project_; }
  // Changes the project; when `change` changed anything, the project counts as not saved and
  // projectChanged() is emitted. Members are added at the end here; removeMember() removes one.
  void update(const std::function<void(analysis::project::Project&)>& change);

  // The file of the project; empty for one never saved.
  const QString& path() const { return path_; }
  // The file's name, or "未命名工程".
  QString displayName() const;
  bool isModified() const { return modified_; }
  // What opening the project's file left out (parts it could not read); empty once the project
  // is saved, or for a new one.
  const std::vector<analysis::project::Skipped>& skipped() const { return skipped_; }

  // ---- The 工程 menu. Each command that would set unsaved changes aside asks first; false
  // when the user cancelled it or it failed (a message says why).
  bool newProject();
  bool open();  // asks for the file
  bool openFile(const QString& path);
  bool save();    // to its file; asks for one when it has none
  bool saveAs();  // asks for the file
  bool saveTo(const QString& path);
  // Asks whether unsaved changes are to be saved before they would be set aside: true to go
  // on (saved, or not wanted), false to stay (cancelled, or saving failed).
  bool maySetAside();
  // The projects opened or saved last, the latest first.
  QStringList recentProjects() const;
  // The menu that lists them (one entry each, which opens it): filled now and after every
  // project opened or saved.
  void setRecentMenu(QMenu* menu);
  QMenu* recentMenu() const { return recentMenu_; }

  // ---- Members.
  std::optional<MemberId> idAt(std::size_t index) const;
  std::optional<std::size_t> indexOf(MemberId id) const;
  const analysis::project::Member* member(MemberId id) const;
  // Changes one member (as update()); false when there is no such member any more, or when the
  // change would give the member texts its sheet refuses (the member stays as it was, a
  // message says why).
  bool updateMember(MemberId id, const std::function<void(analysis::project::Member&)>& change);
  // Adds a member at the end; none (after a message) when its sheet refuses its texts.
  std::optional<MemberId> addMember(analysis::project::Member m);
  // What the member's own sheet would not take of its texts, one line each naming the box
  // (see project::check_member); empty when the sheet takes it whole.
  static QStringList refusal(const analysis::project::Member& m);
  // The message that a member is not stored, with the lines of refusal().
  void tellRefused(const analysis::project::Member& m, const QStringList& lines,
                   QWidget* parent = nullptr) const;
  void removeMember(MemberId id);
  // A name no member has yet: "构件 N".
  QString freshMemberName() const;

  // ---- Members and sheets.
  // The member whose inputs sheet 1..n holds (opened in it, or saved from it), if any.
  std::optional<MemberId> memberInSheet(int sheet) const;
  // Types the member into its sheet's window (from the sheet's defaults, as a freshly opened
  // sheet), asking first when the window holds inputs of the user's; the view, or nullptr
  // (cancelled, or the member's sheet is unknown).
  QtSheetView* openInSheet(MemberId id);
  // Saves the boxes of sheet 1..n as a member: the member the sheet holds (after asking
  // whether to update it or add a new one), or a new member. The id, or none (no such sheet
  // open, or cancelled).
  std::optional<MemberId> saveSheetAsMember(int sheet);
  // Types `entries` into sheet 1..n's window (opened when it is not), leaving its other
  // inputs as they are; the view. A box that another input of the sheet has disabled cannot
  // take its text: such boxes are put in *skipped (and named in a message when `skipped` is
  // null).
  QtSheetView* typeIntoSheet(int sheet, const std::vector<analysis::batch::Entry>& entries,
                             std::vector<sheet::Control>* skipped = nullptr);

 signals:
  void projectChanged();   // any change, and a new or opened project
  void projectReplaced();  // a new or opened project: member ids of the old one are gone
  void stateChanged();     // the file or the unsaved state changed

 private:
  // Opens the file, the question about unsaved changes answered.
  bool read(const QString& path);
  void replace(analysis::project::Project p, const QString& path, bool lossy,
               std::vector<analysis::project::Skipped> skipped = {});
  void setModified(bool modified);
  void remember(const QString& path);
  void fillRecentMenu();
  // Says which boxes of sheet `view` did not take their texts.
  void tellSkipped(const QtSheetView& view, const std::vector<sheet::Control>& skipped,
                   const QString& whose);

  MainWindow& main_;
  AnalysisActions& analysis_;
  analysis::project::Project project_;
  std::vector<MemberId> ids_;  // parallel to project_.members
  MemberId nextId_ = 1;
  QString path_;
  bool modified_ = false;
  // The file opened with parts it could not read: saving over it asks first.
  bool lossy_ = false;
  std::vector<analysis::project::Skipped> skipped_;
  std::vector<std::optional<MemberId>> sheetMembers_;  // per sheet
  QMenu* recentMenu_ = nullptr;
};

}  // namespace pellucor::shell
