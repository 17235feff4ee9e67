// The project as a child window: the description of the structure, and its members with their
// sheets and inspection data. From here a member opens in its sheet, the members of a sheet
// open as a member table (and are saved back from it), and a member's inspection data open in
// their windows: the chloride profiles, the carbonation depths, the cover readings.
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "shell/project/project_session.hpp"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace pellucor::shell {

class BatchWindow;

class ProjectWindow final : public QWidget {
  Q_OBJECT

 public:
  explicit ProjectWindow(ProjectSession& session, QWidget* parent = nullptr);

  // The structure's fields: name, structure, location, owner, engineer, date.
  QLineEdit* structureEdit(int field) const { return fields_[static_cast<std::size_t>(field)]; }
  QPlainTextEdit* notesEdit() const { return notes_; }
  // Columns: name (editable), sheet, inspection data, scatter for the reliability analysis.
  QTableWidget* membersTable() const { return members_; }
  QLabel* fileLabel() const { return file_; }
  QPushButton* button(const char* objectName) const;

  // The member of the current row.
  std::optional<ProjectSession::MemberId> currentMember() const;
  void selectMember(ProjectSession::MemberId id);

  // The commands of its buttons.
  void addFromSheet();
  void addMember();
  void removeMember();
  void openInSheet();
  BatchWindow* openMemberTable();
  void openProfiles();
  void openCarbonation();
  void openCover();
  void openReliability();
  // The title names the project's file.
  void retitle();

 private:
  void refresh();

  ProjectSession& session_;
  std::vector<QLineEdit*> fields_;
  QPlainTextEdit* notes_ = nullptr;
  QTableWidget* members_ = nullptr;
  QLabel* file_ = nullptr;
  std::vector<ProjectSession::MemberId> rows_;  // the member of each row
  bool filling_ = false;
};

// Shows the project window (one for the program), brought to the front when it is open.
ProjectWindow* show_project_window(ProjectSession& session);

// The members of sheet 1..n of the project as a member table (a new window), with a command
// that saves its rows back to the project.
BatchWindow* open_member_table(ProjectSession& session, int sheet);
// Saves the rows of a member table opened from the project: a row whose name is a member of
// that sheet replaces its inputs (its inspection data stay), a new name adds a member; members
// of the sheet that the table no longer holds are removed after asking. False after a message
// (a row without a name, a name twice, a cell the sheet cannot take) or when cancelled.
bool save_member_table(ProjectSession& session, BatchWindow& table);

}  // namespace pellucor::shell
