#include "shell/reports/structure_report.hpp"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QProgressDialog>
#include <QTextStream>
#include <QTimer>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QHorizontalStackedBarSeries>
#include <QtCharts/QLegend>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

#include "analysis/curves/curves.hpp"
#include "analysis/inspect/chloride_profile.hpp"
#include "analysis/inspect/surveys.hpp"
#include "analysis/structure/assessment_table.hpp"
#include "analysis/text/printable.hpp"
#include "sheet/control_names.hpp"
#include "sheet/result_record.hpp"
#include "sheet/safe_output.hpp"
#include "shell/charts/chart_builder.hpp"
#include "shell/charts/fit_chart.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/text.hpp"
#include "shell/reliability/reliability_tables.hpp"
#include "shell/reports/reliability_section.hpp"

namespace pellucor::shell {

namespace assess = analysis::assess;
namespace inspect = analysis::inspect;
namespace project = analysis::project;
using analysis::text::printable;

namespace {

const QString kTitle = QStringLiteral("结构评估报告");

QString general(double v, int digits = 4) {
  return QString::number(v, 'g', digits);
}

// The project as the messages name it: its file's name, or that it was never saved.
QString project_name(const ReportSource& source) {
  return source.file.isEmpty() ? QStringLiteral("未命名工程") : QFileInfo(source.file).fileName();
}

QString or_dash(const std::string& s) {
  return s.empty() ? QStringLiteral("—") : qs(s);
}

QString sheet_caption(const assess::MemberResult& m) {
  return m.module != nullptr ? qs(m.module->table().caption) : qs(m.sheetName);
}

ReportSection cover(const project::Project& p, const assess::StructureAssessment& s,
                    const ReportSource& source) {
  ReportSection c;
  c.title = QStringLiteral("工程概况");
  c.table.header = {QStringLiteral("项目"), QStringLiteral("内容")};
  const project::Structure& st = p.structure;
  c.table.rows = {
      {QStringLiteral("工程名称"), or_dash(st.name)},
      {QStringLiteral("结构"), or_dash(st.structure)},
      {QStringLiteral("地点"), or_dash(st.location)},
      {QStringLiteral("业主"), or_dash(st.owner)},
      {QStringLiteral("评估人"), or_dash(st.engineer)},
      {QStringLiteral("日期"), or_dash(st.date)},
      {QStringLiteral("构件数"), QString::number(s.members.size())},
  };
  if (!st.notes.empty()) c.table.rows.append({QStringLiteral("备注"), qs(st.notes)});
  if (!source.file.isEmpty() || source.unsaved) {
    QString file = source.file.isEmpty() ? QStringLiteral("（尚未保存为文件）")
                                         : QDir::toNativeSeparators(source.file);
    if (source.unsaved && !source.file.isEmpty()) file += QStringLiteral("（含未保存的改动）");
    c.table.rows.append({QStringLiteral("工程文件"), file});
  }
  if (source.unsaved) {
    c.notes << (source.file.isEmpty()
                    ? QStringLiteral("本报告按程序中的工程写出，该工程尚未保存为文件。")
                    : QStringLiteral("本报告按程序中打开的工程写出，其中有尚未保存的改动："
                                     "报告与工程文件 %1 的内容不一致。")
                          .arg(QDir::toNativeSeparators(source.file)));
  }
  return c;
}

ReportSection settings_section(const assess::StructureAssessment& s) {
  ReportSection r;
  r.title = QStringLiteral("评估设置");
  // On the first page, after the project: the settings and the summary by grade are what the
  // engineer reads first (a page with the project's table alone would be mostly empty).
  for (const std::string& line : assess::settings_lines(s.settings)) r.notes << qs(line);
  r.notes << QStringLiteral(
      "剩余寿命 = t_lim − t0，t_lim 为极限状态（钢筋开始锈蚀 t_i、保护层开裂 t_c、"
      "耐久性终结 t_d）出现的龄期；构件的等级取计入的各极限状态中最不利者，该极限状态为控制极限"
      "状态。构件另行选择的极限状态见其所在页。");
  if (s.reliability) {
    const analysis::mc::RunSettings& m = s.mcSettings;
    r.notes << QStringLiteral(
                   "可靠度分析：每个构件 %1 个样本，随机数种子 %2；目标可靠指标 β：钢筋开始锈蚀 "
                   "%3，保护层开裂 %4，耐久性终结 %5，均在目标使用年限 %6 a 时读取。按 β 的裕度"
                   " ξ_β = (t_β − t0)/(γ·(T − t0))，t_β 为 β 降至目标以下的龄期，等级界限同上。")
                   .arg(m.samples)
                   .arg(m.seed)
                   .arg(general(m.targetBetaInitiation))
                   .arg(general(m.targetBetaCracking))
                   .arg(general(m.targetBeta))
                   .arg(general(s.settings.targetLife));
  } else {
    r.notes << QStringLiteral("本报告未进行可靠度分析。");
  }
  return r;
}

ReportSection summary_section(const assess::StructureAssessment& s,
                              const analysis::update::UpdatedGrades* updated) {
  const assess::GradeSummary& g = s.summary;
  ReportSection r;
  r.title = QStringLiteral("按等级汇总");
  r.table.header = {QStringLiteral("等级"), QStringLiteral("构件数"), QStringLiteral("占比")};
  const auto share = [&s](std::size_t n) {
    return s.members.empty()
               ? QStringLiteral("—")
               : fixed(100.0 * static_cast<double>(n) / static_cast<double>(s.members.size()), 1) +
                     QStringLiteral("%");
  };
  const char* names[] = {"a 级", "b 级", "c 级"};
  for (std::size_t i = 0; i < 3; ++i) {
    r.table.rows.append({qs(names[i]), QString::number(g.counts[i]), share(g.counts[i])});
  }
  r.table.rows.append(
      {QStringLiteral("未评定"), QString::number(g.notAssessed), share(g.notAssessed)});
  if (s.reliability) {
    ReportTable byBeta;
    byBeta.caption = QStringLiteral("按可靠指标的等级");
    byBeta.header = r.table.header;
    for (std::size_t i = 0; i < 3; ++i) {
      byBeta.rows.append(
          {qs(names[i]), QString::number(g.reliabilityCounts[i]), share(g.reliabilityCounts[i])});
    }
    byBeta.rows.append({QStringLiteral("无可靠度结果"), QString::number(g.withoutReliability),
                        share(g.withoutReliability)});
    r.tables.push_back(std::move(byBeta));
  }
  if (updated != nullptr) {
    // The Chinese lines: the summary and one per member updated (the last line is English).
    for (std::size_t i = 0; i + 1 < updated->lines.size(); ++i) {
      r.notes << qs(updated->lines[i]).trimmed();
    }
  }
  if (!g.worst.empty()) {
    ReportTable worst;
    const std::size_t assessed = s.members.size() - g.notAssessed;
    worst.caption = assessed > g.worst.size()
                        ? QStringLiteral("最不利的 %1 个构件（共 %2 个已评定）")
                              .arg(g.worst.size())
                              .arg(assessed)
                        : QStringLiteral("最不利的构件");
    worst.header = {QStringLiteral("构件"),         QStringLiteral("计算表"),
                    QStringLiteral("控制极限状态"), QStringLiteral("剩余寿命 (a)"),
                    QStringLiteral("裕度 ξ"),       QStringLiteral("等级")};
    for (std::size_t i : g.worst) {
      const assess::MemberResult& m = s.members[i];
      worst.rows.append({qs(m.name), qs(assess::sheet_short_name(m.module->table())),
                         qs(assess::limit_state_name(m.assessment->governing)),
                         qs(assess::remaining_cell(*m.assessment)),
                         qs(assess::margin_cell(*m.assessment)),
                         qs(assess::grade_name(m.assessment->grade))});
    }
    r.tables.push_back(std::move(worst));
  }
  const bool anyLeft = std::any_of(s.members.begin(), s.members.end(), [](const auto& m) {
    return m.assessed() && !m.assessment->governingState().passed();
  });
  if (anyLeft) {
    // The report owns what its chart needs.
    auto shared = std::make_shared<const assess::StructureAssessment>(s);
    r.charts.push_back([shared] { return remaining_life_chart(*shared); });
  } else if (s.summary.counts[0] + s.summary.counts[1] + s.summary.counts[2] > 0) {
    // A chart of bars all of length 0 would show nothing.
    r.notes << QStringLiteral(
        "已评定的构件在评估龄期均已超过其控制极限状态，无剩余寿命可绘图；"
        "各构件达到极限状态的龄期见构件一览。");
  }
  if (g.notAssessed > 0) {
    r.notes << QStringLiteral("%1 个构件未评定，未计入等级统计；原因见构件一览的说明栏及各构件页。")
                   .arg(g.notAssessed);
  }
  if (s.cancelled) r.notes << QStringLiteral("评估被取消：其后的构件未计算。");
  return r;
}

ReportSection member_table_section(const assess::StructureAssessment& s) {
  ReportSection r;
  r.title = QStringLiteral("构件一览");
  r.newPage = true;
  const assess::AssessmentTable t = assess::assessment_table(s);
  for (const auto& h : t.header) r.table.header << qs(h);
  // The explanation takes the room the numbers leave.
  for (std::size_t c = 0; c < t.header.size(); ++c) {
    r.table.widths << (c + 1 == t.header.size() ? 3.0 : c == 0 || c == 2 || c == 3 ? 1.3 : 1.0);
  }
  for (const auto& row : t.rows) {
    QStringList cells;
    for (const auto& c : row) cells << qs(c);
    r.table.rows.append(cells);
  }
  return r;
}

ReportTable margin_table(const assess::MemberAssessment& a) {
  ReportTable t;
  t.caption = QStringLiteral("评定：") + qs(a.summary());
  t.header = {QStringLiteral("极限状态"), QStringLiteral("龄期 t_lim (a)"),
              QStringLiteral("剩余寿命 (a)"), QStringLiteral("裕度 ξ"), QStringLiteral("等级")};
  for (const auto& m : a.states) {
    t.rows.append({qs(assess::limit_state_name(m.state)), qs(assess::life_text(m.time)),
                   m.passed() ? QStringLiteral("已超过") : qs(assess::life_text(m.remaining)),
                   m.passed() ? QStringLiteral("已超过") : qs(assess::margin_text(*m.margin)),
                   qs(assess::grade_name(m.grade))});
  }
  return t;
}

ReportTable reliability_grade_table(const assess::ReliabilityAssessment& a) {
  ReportTable t;
  t.caption = QStringLiteral("按可靠指标评定：") + qs(a.summary());
  t.header = {QStringLiteral("极限状态"), QStringLiteral("β（目标使用年限时）"),
              QStringLiteral("目标 β"),   QStringLiteral("β 低于目标的龄期 (a)"),
              QStringLiteral("裕度 ξ_β"), QStringLiteral("等级")};
  for (const auto& m : a.states) {
    t.rows.append(
        {qs(assess::limit_state_name(m.state)), qs(analysis::mc::index_text(m.betaAtTarget, 2)),
         fixed(m.targetBeta, 2),
         m.never() ? QStringLiteral("始终不低于目标") : qs(assess::life_text(*m.ageBelow)),
         m.never()    ? QStringLiteral("—")
         : m.passed() ? QStringLiteral("已超过")
                      : qs(assess::margin_text(*m.margin)),
         qs(assess::grade_name(m.grade))});
  }
  return t;
}

QString estimate(const inspect::Estimate& e, int digits = 3) {
  return general(e.value, digits) + QStringLiteral(" ± ") + general(e.standardError, 2);
}

// The fits of the member's inspection data, made again from the readings the project keeps.
std::optional<ReportSection> inspection_section(const project::Member& m) {
  const project::Inspection& in = m.inspection;
  if (in.profiles.empty() && !in.carbonation && !in.cover) return std::nullopt;
  ReportSection r;
  r.title = QStringLiteral("检测数据的拟合");
  if (!in.profiles.empty()) {
    ReportTable& t = r.table;
    t.caption = QStringLiteral("氯离子含量剖面（误差函数解，最小二乘拟合；± 为标准误）");
    t.header = {QStringLiteral("芯样"),        QStringLiteral("龄期 (a)"),
                QStringLiteral("C_s (kg/m³)"), QStringLiteral("D_a (mm²/a)"),
                QStringLiteral("C_i (kg/m³)"), QStringLiteral("R²"),
                QStringLiteral("回归点数")};
    for (const auto& p : in.profiles) {
      const auto fit = inspect::fit_profile(p.input);
      if (!fit) {
        t.rows.append({qs(p.name), general(p.input.ageYears),
                       QStringLiteral("未能拟合：") + qs(fit.refusal().text), QString(), QString(),
                       QString(), QString()});
        continue;
      }
      t.rows.append({qs(p.name), general(fit->ageYears), estimate(fit->surface),
                     estimate(fit->diffusion),
                     fit->background ? estimate(*fit->background) : general(fit->backgroundUsed),
                     fixed(fit->rSquared, 3), QString::number(fit->pointsUsed)});
      // The readings as points, the fitted curve as a line, as the fit's window draws them.
      const analysis::curves::Chart chart = inspect::profile_chart(*fit);
      std::vector<bool> points(chart.series.size(), true);
      points[0] = false;
      r.charts.push_back([chart, points] { return fit_chart(chart, points); });
      for (const auto& note : fit->notes)
        r.notes << qs(p.name) + QStringLiteral("：") + qs(note.zh);
    }
  }
  if (in.carbonation) {
    ReportTable t;
    t.caption = QStringLiteral("碳化深度读数");
    t.header = {QStringLiteral("项目"), QStringLiteral("数值")};
    const auto s = inspect::survey_carbonation(*in.carbonation);
    if (!s) {
      t.rows.append({QStringLiteral("未能统计"), qs(s.refusal().text)});
    } else {
      t.rows = {
          {QStringLiteral("龄期 (a)"), general(s->ageYears)},
          {QStringLiteral("读数个数"), QString::number(s->depth.n)},
          {QStringLiteral("碳化深度平均值 ± 标准差 (mm)"),
           general(s->depth.mean) + QStringLiteral(" ± ") + general(s->depth.sd, 3)},
          {QStringLiteral("碳化系数 k = x/√t 平均值 (mm/a^0.5)"), general(s->k.mean)},
          {QStringLiteral("k 平均值的 95% 区间"),
           general(s->kMeanInterval.lower) + QStringLiteral("—") + general(s->kMeanInterval.upper)},
      };
      for (const auto& note : s->notes) r.notes << QStringLiteral("碳化：") + qs(note.zh);
    }
    r.tables.push_back(std::move(t));
  }
  if (in.cover) {
    ReportTable t;
    t.caption = QStringLiteral("保护层厚度读数");
    t.header = {QStringLiteral("项目"), QStringLiteral("数值")};
    const auto s = inspect::survey_cover(*in.cover);
    if (!s) {
      t.rows.append({QStringLiteral("未能统计"), qs(s.refusal().text)});
    } else {
      const inspect::CoverLaw& law = s->chosen();
      t.rows = {
          {QStringLiteral("读数个数"), QString::number(s->sample.n)},
          {QStringLiteral("平均值 ± 标准差 (mm)"),
           general(s->sample.mean) + QStringLiteral(" ± ") + general(s->sample.sd, 3)},
          {QStringLiteral("采用的分布"), law.law == analysis::mc::Distribution::Lognormal
                                             ? QStringLiteral("对数正态")
                                             : QStringLiteral("正态")},
          {QStringLiteral("5% 特征值 (mm)"), general(law.characteristic)},
      };
      if (s->designCoverMm) {
        t.rows.append(
            {QStringLiteral("低于设计保护层 %1 mm 的读数").arg(general(*s->designCoverMm)),
             QStringLiteral("%1 / %2").arg(s->belowDesign).arg(s->sample.n)});
      }
      for (const auto& note : s->notes) r.notes << QStringLiteral("保护层：") + qs(note.zh);
    }
    r.tables.push_back(std::move(t));
  }
  return r;
}

// A typed text with the caption the sheet shows beside its control.
QStringList typed_row(const sheet::Module* module, const analysis::batch::Entry& e) {
  if (module == nullptr) return {qs(sheet::control_name(e.control)), qs(e.text)};
  const sheet::SheetTable& table = module->table();
  if (const sheet::FieldRow* f = table.field(e.control)) return {qs(f->label), qs(e.text)};
  if (e.control == sheet::Control::Combo1) return {qs(table.combo.label), qs(e.text)};
  if (const sheet::OptionGroupRow* g = sheet::group_of(table, e.control)) {
    for (const auto& o : g->options) {
      if (o.control == e.control) return {qs(g->caption), qs(o.caption)};
    }
  }
  return {qs(sheet::control_name(e.control)), qs(e.text)};
}

void add_member(ReportDocument& doc, const project::Member& pm, const assess::MemberResult& m,
                const analysis::update::UpdateResult* updated, std::size_t index,
                std::size_t count) {
  ReportSection head;
  head.newPage = true;
  head.title = QStringLiteral("构件 %1/%2：%3 — %4")
                   .arg(index + 1)
                   .arg(count)
                   .arg(qs(m.name), sheet_caption(m));
  if (m.assessment) {
    head.table = margin_table(*m.assessment);
    if (pm.limitStates) head.table.caption += QStringLiteral("（本构件自选的极限状态）");
    for (const auto& n : m.assessment->notes) head.notes << qs(n);
  }
  if (!m.failure.empty()) {
    // No calculation or no margins: why, then the texts as they were typed.
    ReportTable typed;
    typed.caption = QStringLiteral("未评定：") + qs(m.failure);
    typed.header = {QStringLiteral("输入"), QStringLiteral("录入的文字")};
    for (const auto& e : m.entries) typed.rows.append(typed_row(m.module, e));
    if (typed.rows.isEmpty()) typed.rows.append({QStringLiteral("（无）"), QString()});
    if (m.run) {
      head.tables.insert(head.tables.begin(), std::move(typed));
    } else {
      head.table = std::move(typed);
    }
  }
  doc.addSection(std::move(head));
  // The member's calculation as a sheet's own report prints it: method, inputs, results, charts.
  if (m.run && m.module != nullptr) {
    for (ReportSection& sec : sheet_sections(m.module->table(), m.run->record, m.run->run)) {
      doc.addSection(std::move(sec));
    }
  }
  if (auto inspection = inspection_section(pm)) doc.addSection(std::move(*inspection));
  if (m.reliabilityReport) {
    QStringList notes;
    if (!m.reliabilityFailure.empty()) notes << qs(m.reliabilityFailure);
    ReportSection rel = reliability_section(*m.reliabilityReport, notes);
    if (m.reliability)
      rel.tables.insert(rel.tables.begin(), reliability_grade_table(*m.reliability));
    doc.addSection(std::move(rel));
  } else if (!m.reliabilityFailure.empty()) {
    ReportSection rel;
    rel.title = QString::fromUtf8(kReliabilityTitle);
    rel.notes << qs(m.reliabilityFailure);
    doc.addSection(std::move(rel));
  }
  if (updated != nullptr) {
    ReportSection u =
        update_section(*updated, {QStringLiteral("构件“%1”按 β 的等级%2。")
                                      .arg(qs(pm.name), updated->diagnostics.passed && m.reliability
                                                            ? QStringLiteral("取自本节的后验")
                                                            : QStringLiteral("未评定（见上节）"))});
    u.newPage = false;
    doc.addSection(std::move(u));
  }
}

// Assesses the project and writes its report to `out` under a progress dialog that counts the
// members assessed, then the report's sections laid out and drawn; 取消 stops either, and
// nothing is written then. The members are assessed on every core, on a thread of their own
// while the window goes on answering; the pages are drawn here, on one core: the charts are
// objects of the window's thread, and one PDF is written from its first page to its last.
void write_with_progress(MainWindow& main, const project::Project& project,
                         const std::vector<project::Skipped>& skipped, const ReportSource& source,
                         bool reliability, bool updated, const QString& out) {
  Dialogs& dialogs = main.dialogs();
  const int members = static_cast<int>(project.members.size());
  QProgressDialog progress(QStringLiteral("正在评定 %1 个构件……").arg(members),
                           QStringLiteral("取消"), 0, std::max(members, 1), &main);
  progress.setObjectName(QStringLiteral("structureReportProgress"));
  progress.setWindowTitle(kTitle);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  progress.setValue(0);

  std::atomic<bool> cancel{false};
  std::atomic<std::size_t> done{0};
  std::atomic<bool> finished{false};
  std::optional<analysis::Outcome<assess::StructureAssessment, assess::AssessRefusal>> assessed;
  QString failure;
  assess::StructureOptions options;
  options.reliability = reliability;
  options.cancel = &cancel;
  options.progress = [&done](std::size_t d, std::size_t) { done = d; };
  std::optional<assess::StructureAssessment> structure;
  std::optional<analysis::update::UpdatedGrades> grades;
  std::thread worker([&] {
    try {
      assessed.emplace(assess::assess_structure(project, options));
      if (*assessed) {
        structure = **assessed;
        if (updated && !cancel) {
          grades = analysis::update::grade_updated(project, {}, *structure, &cancel);
        }
      }
    } catch (const std::exception& e) {
      failure = QString::fromUtf8(e.what());
    }
    finished = true;
  });
  QEventLoop wait;
  QTimer tick;
  tick.setInterval(50);
  QObject::connect(&tick, &QTimer::timeout, &wait, [&] {
    progress.setValue(static_cast<int>(done.load()));
    if (progress.wasCanceled()) cancel = true;
    if (finished) wait.quit();
  });
  tick.start();
  wait.exec();
  worker.join();
  if (cancel || progress.wasCanceled()) return;
  if (!assessed) {
    dialogs.showWarning(&main, kTitle, QStringLiteral("评估未能完成：") + failure);
    return;
  }
  if (!*assessed) {
    dialogs.showWarning(&main, kTitle, qs(assessed->refusal().text));
    return;
  }

  if (grades && grades->cancelled) return;
  ReportDocument doc =
      structure_report(project, *structure, skipped, source, grades ? &*grades : nullptr);
  progress.setLabelText(QStringLiteral("正在绘制报告（%1 个构件）……").arg(members));
  QElapsedTimer sinceEvents;
  sinceEvents.start();
  doc.setProgress([&progress, &sinceEvents](std::size_t step, std::size_t steps) {
    progress.setMaximum(static_cast<int>(steps));
    progress.setValue(static_cast<int>(step));
    // Before the dialog shows, its 取消 is reached only through the events.
    if (sinceEvents.elapsed() > 100) {
      QCoreApplication::processEvents();
      sinceEvents.restart();
    }
    return !progress.wasCanceled();
  });
  QString error;
  const bool written = doc.writePdf(out, &error);
  if (progress.wasCanceled()) return;
  progress.setValue(progress.maximum());
  progress.close();
  if (!written) {
    dialogs.showWarning(&main, kTitle, error);
    return;
  }
  // Opening and printing are offered; neither is the default.
  doc.setProgress({});
  offer_report(
      dialogs, &main, kTitle, out, [&doc](QPrinter& printer) { doc.paint(printer); },
      doc.caption());
}

}  // namespace

QChart* remaining_life_chart(const assess::StructureAssessment& s, std::size_t members) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < s.members.size(); ++i) {
    if (s.members[i].assessed()) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&s](std::size_t a, std::size_t b) {
    return assess::remaining_life(s.members[a]) < assess::remaining_life(s.members[b]);
  });
  const std::size_t assessed = order.size();
  if (order.size() > members) order.resize(members);
  // Shortest at the top: a horizontal bar chart draws its first category at the bottom.
  std::reverse(order.begin(), order.end());

  auto* chart = new QChart;
  QString title = QStringLiteral("各构件控制极限状态的剩余寿命");
  if (assessed > order.size()) {
    title += QStringLiteral("（剩余寿命最短的 %1 个，共 %2 个已评定构件）")
                 .arg(order.size())
                 .arg(assessed);
  }
  chart->setTitle(title);
  chart->setTitleFont(cjk_font(11));
  chart->legend()->setFont(cjk_font(8));
  chart->legend()->setAlignment(Qt::AlignBottom);
  // One set per grade, stacked: each member has its value in its grade's set only.
  const QColor colours[] = {QColor(60, 150, 80), QColor(230, 170, 40), QColor(200, 60, 50)};
  const char* names[] = {"a 级", "b 级", "c 级"};
  auto* series = new QHorizontalStackedBarSeries;
  QBarSet* sets[3];
  for (int g = 0; g < 3; ++g) {
    sets[g] = new QBarSet(qs(names[g]));
    sets[g]->setColor(colours[g]);
    series->append(sets[g]);
  }
  QStringList categories;
  double top = 1;
  for (std::size_t i : order) {
    const assess::MemberResult& m = s.members[i];
    const double remaining = std::max(0.0, assess::remaining_life(m));
    top = std::max(top, remaining);
    const auto g = static_cast<int>(m.assessment->grade);
    for (int k = 0; k < 3; ++k) sets[k]->append(k == g ? remaining : 0.0);
    const bool passed = m.assessment->governingState().passed();
    categories << qs(m.name) + (passed ? QStringLiteral("（已超过）") : QString());
  }
  chart->addSeries(series);
  auto* y = new QBarCategoryAxis;
  y->append(categories);
  y->setLabelsFont(cjk_font(order.size() > 25 ? 6 : 8));
  chart->addAxis(y, Qt::AlignLeft);
  series->attachAxis(y);
  auto* x = new QValueAxis;
  x->setTitleText(QStringLiteral("剩余寿命 t_lim − t0 (a)（已超过者为 0）"));
  x->setTitleFont(cjk_font(9));
  x->setLabelsFont(cjk_font(8));
  x->setRange(0, std::ceil(top * 1.05));
  chart->addAxis(x, Qt::AlignBottom);
  series->attachAxis(x);
  return chart;
}

ReportDocument structure_report(const project::Project& p, const assess::StructureAssessment& s,
                                const std::vector<project::Skipped>& skipped,
                                const ReportSource& source,
                                const analysis::update::UpdatedGrades* updated) {
  const QString name =
      p.structure.name.empty() ? QStringLiteral("（未命名工程）") : qs(p.structure.name);
  ReportDocument doc(QStringLiteral("结构耐久性评估报告：") + name);
  ReportSection front = cover(p, s, source);
  if (!skipped.empty()) {
    front.notes << QStringLiteral("读取工程文件时有 %1 处未能读入，本报告不含这些内容：")
                       .arg(skipped.size());
    for (const auto& k : skipped)
      front.notes << qs(k.shown.empty() ? k.where : k.shown) + QStringLiteral("：") + qs(k.text);
  }
  doc.addSection(std::move(front));
  doc.addSection(settings_section(s));
  doc.addSection(summary_section(s, updated));
  doc.addSection(member_table_section(s));
  for (std::size_t i = 0; i < s.members.size() && i < p.members.size(); ++i) {
    const analysis::update::UpdateResult* u =
        updated != nullptr && i < updated->results.size() && updated->results[i]
            ? &*updated->results[i]
            : nullptr;
    add_member(doc, p.members[i], s.members[i], u, i, s.members.size());
  }
  return doc;
}

bool report_requested(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--report") return true;
  }
  return false;
}

int run_report_command(const QStringList& arguments, QTextStream& out, QTextStream& err) {
  const QString usage = QStringLiteral(
      "Usage: pellucor --report PROJECT.pellucor -o REPORT.pdf [--reliability [--updated]]\n"
      "Writes the structure's assessment report without opening a window (offscreen).\n"
      "--updated grades the members with inspection data from their reliability analysis\n"
      "updated with the measurements (as pellucor-cli assess --reliability --updated).\n");
  QString projectPath;
  QString output;
  bool reliability = false;
  bool updated = false;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if ((a == QStringLiteral("--report") || a == QStringLiteral("-o")) &&
        i + 1 < arguments.size()) {
      (a == QStringLiteral("-o") ? output : projectPath) = arguments[++i];
    } else if (a == QStringLiteral("--reliability")) {
      reliability = true;
    } else if (a == QStringLiteral("--updated")) {
      updated = true;
    } else if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) {
      out << usage;
      return 0;
    } else {
      err << "pellucor: unexpected argument '" << a << "'\n" << usage;
      return 1;
    }
  }
  if (projectPath.isEmpty() || output.isEmpty()) {
    err << "pellucor: --report needs a project file and -o a PDF file\n" << usage;
    return 1;
  }
  if (updated && !reliability) {
    err << "pellucor: --updated applies to the reliability runs (--reliability)\n" << usage;
    return 1;
  }
  const std::string outPath = output.toStdString();
  // The report never takes the place of the project it is made from.
  if (sheet::same_file(sheet::file_key(projectPath.toStdString()), sheet::file_key(outPath))) {
    err << "pellucor: the project and -o are the same file (" << projectPath << ", " << output
        << "); nothing was computed or written\n";
    return 1;
  }
  sheet::SafeOutput file;
  if (auto f = file.open(outPath)) {
    err << "pellucor: " << qs(sheet::output_failure_message(outPath, *f)) << " (" << qs(f->detail)
        << "); nothing was computed\n";
    return 1;
  }
  // The PDF may go to standard output (a pipe to a viewer): the summary then goes to standard
  // error.
  QTextStream& info = file.standardStream() ? err : out;
  auto opened = project::open_project(projectPath.toStdString());
  if (!opened) {
    file.abandon();
    err << "pellucor: " << projectPath << ": " << qs(printable(opened.refusal().message))
        << "; nothing was computed\n";
    return 1;
  }
  for (const auto& sk : opened->skipped) {
    err << "pellucor: skipped " << qs(printable(sk.where)) << ": " << qs(printable(sk.message))
        << '\n';
  }
  for (const auto* list : {&opened->repeatedNames, &opened->conflicts}) {
    for (const auto& sk : *list) {
      err << "pellucor: " << qs(printable(sk.where)) << ": " << qs(printable(sk.message)) << '\n';
    }
  }
  if (const auto refused = assess::check_opened(opened->project, opened->skipped, reliability)) {
    file.abandon();
    err << "pellucor: " << projectPath << ": " << qs(printable(refused->message))
        << "; nothing was computed\n";
    return 1;
  }
  assess::StructureOptions options;
  options.reliability = reliability;
  const auto outcome = assess::assess_structure(opened->project, options);
  if (!outcome) {
    file.abandon();
    err << "pellucor: " << projectPath << ": " << qs(outcome.refusal().message)
        << "; nothing was computed\n";
    return 1;
  }
  assess::StructureAssessment assessedCopy = *outcome;
  const assess::StructureAssessment* assessed = &assessedCopy;
  std::optional<analysis::update::UpdatedGrades> grades;
  if (updated) {
    grades = analysis::update::grade_updated(opened->project, {}, assessedCopy);
    for (const auto& line : grades->lines) info << qs(printable(line)) << '\n';
  }
  const ReportDocument doc = structure_report(opened->project, *assessed, opened->skipped,
                                              {QFileInfo(projectPath).absoluteFilePath(), false},
                                              grades ? &*grades : nullptr);
  QByteArray bytes;
  if (!doc.pdf(bytes)) {
    file.abandon();
    err << "pellucor: the report could not be drawn; nothing was written\n";
    return 2;
  }
  auto failure =
      file.write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (!failure) failure = file.commit();
  if (failure) {
    file.abandon();
    err << "pellucor: " << qs(sheet::output_failure_message(outPath, *failure)) << " ("
        << qs(failure->detail) << ")\n";
    return 2;
  }
  const assess::GradeSummary& g = assessed->summary;
  info << "report written to " << output << ": " << assessed->members.size() << " members, grade a "
       << g.counts[0] << ", b " << g.counts[1] << ", c " << g.counts[2] << ", not assessed "
       << g.notAssessed << '\n';
  return g.notAssessed == 0 ? 0 : 2;
}

QAction* install_structure_report_menu(MainWindow& main, OpenProjectSource openProject) {
  auto* action = main.analysisMenu()->addAction(QStringLiteral("结构评估报告(&S)…"));
  action->setObjectName(QStringLiteral("menu_structure_report"));
  action->setStatusTip(QStringLiteral("评定所开工程（或所选工程文件）的全部构件并写出一份报告"));
  QObject::connect(action, &QAction::triggered, &main, [&main, openProject] {
    Dialogs& dialogs = main.dialogs();
    // The project open in the program, as it stands (saved or not); a file only when none is.
    project::Project project;
    std::vector<project::Skipped> skipped;
    ReportSource source;
    if (std::optional<OpenProject> open = openProject ? openProject() : std::nullopt) {
      if (open->project.members.empty()) {
        dialogs.showWarning(&main, kTitle,
                            QStringLiteral("工程“%1”中没有构件，无从评估。请先在“工程与构件”"
                                           "窗口中添加构件。")
                                .arg(project_name(open->source)));
        return;
      }
      project = std::move(open->project);
      skipped = std::move(open->skipped);
      source = open->source;
    } else {
      const auto in = dialogs.chooseOpenFile(&main, QStringLiteral("打开工程文件"),
                                             QStringLiteral("*.pellucor"));
      if (!in) return;
      auto opened = project::open_project(in->toStdString());
      if (!opened) {
        dialogs.showWarning(&main, kTitle,
                            QStringLiteral("无法打开工程 %1：%2")
                                .arg(QDir::toNativeSeparators(*in), qs(opened.refusal().text)));
        return;
      }
      project = std::move(opened->project);
      skipped = std::move(opened->skipped);
      source = {QFileInfo(*in).absoluteFilePath(), false};
    }
    const QString which = project_name(source);
    const auto reliability = dialogs.ask(
        &main, kTitle,
        QStringLiteral("将按工程“%1”写出结构评估报告（%2 个构件%3）。\n\n"
                       "是否对每个构件进行可靠度分析（样本 %4 个）？构件多时需要较长时间。")
            .arg(which)
            .arg(project.members.size())
            .arg(source.unsaved ? QStringLiteral("，含未保存的改动") : QString())
            .arg(project.reliability.samples),
        kYesNo, 1);
    if (!reliability) return;
    // Members with inspection data: their analyses may be updated with the measurements.
    bool updated = false;
    if (*reliability == 0) {
      std::size_t withData = 0;
      for (const auto& m : project.members) {
        withData += analysis::update::measurements_of(m).empty() ? 0 : 1;
      }
      if (withData > 0) {
        const auto answer = dialogs.ask(
            &main, kTitle,
            QStringLiteral("%1 个构件有检测数据。是否按检测数据更新其可靠度分析，按后验 β 评级？")
                .arg(withData),
            kYesNo, 1);
        if (!answer) return;
        updated = *answer == 0;
      }
    }
    if (const auto refused = assess::check_opened(project, skipped, *reliability == 0)) {
      dialogs.showWarning(&main, kTitle, qs(refused->text));
      return;
    }
    const auto out =
        dialogs.chooseSaveFile(&main, QStringLiteral("保存报告"), QStringLiteral("*.pdf"),
                               QStringLiteral("pdf"), SaveMode::Replace,
                               file_name_of({QString::fromStdString(project.structure.name),
                                             QString::fromStdString(project.structure.structure),
                                             QStringLiteral("结构评估报告")}) +
                                   QStringLiteral(".pdf"));
    if (!out) return;
    // The report never takes the place of the project it is made from.
    if (!source.file.isEmpty() && sheet::same_file(sheet::file_key(source.file.toStdString()),
                                                   sheet::file_key(out->toStdString()))) {
      dialogs.showWarning(&main, kTitle,
                          QStringLiteral("报告不能写入工程文件本身：%1。请另选文件名。").arg(*out));
      return;
    }
    write_with_progress(main, project, skipped, source, *reliability == 0, updated, *out);
  });
  return action;
}

}  // namespace pellucor::shell
