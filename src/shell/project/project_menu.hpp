// What the project adds to the main window's menus: the 工程 menu beside the analysis menu (after
// the sheets' entries; the specified entries keep their order) with 新建, 打开…, 保存, 另存为…,
// the recent projects, 工程与构件… (the project window) and 将当前表单存为构件; and
// 结构评估报告… at the end of the analysis menu, which reports the open project.
#pragma once

namespace pellucor::shell {

class AnalysisActions;
class MainWindow;
class ProjectSession;

// Adds the menus and makes the session that `main` owns; `analysis` is the main window's
// analysis menu (install_analysis_menu), filled before. The end of the program asks about
// unsaved changes first.
ProjectSession* install_project_menu(MainWindow& main, AnalysisActions& analysis);

}  // namespace pellucor::shell
