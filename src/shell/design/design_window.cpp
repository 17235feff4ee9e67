#include "shell/design/design_window.hpp"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/assess/margin.hpp"
#include "analysis/assess/reliability_design.hpp"
#include "analysis/project/project.hpp"
#include "modules/registry.hpp"
#include "sheet/control_names.hpp"
#include "sheet/number_form.hpp"
#include "shell/charts/chart_window.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/background_run.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/text.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"

namespace pellucor::shell {

namespace assess = analysis::assess;
namespace mc = analysis::mc;

namespace {

const QString kTitle = QString::fromUtf8(kDesignTitle);

// The boxes a design can solve for: the member's properties, not the starting values of the
// model's iterations.
bool design_value(const sheet::SheetTable& table, const sheet::FieldRow& f) {
  const auto r = assess::design_box(table, std::string(sheet::control_name(f.control)),
                                    assess::LimitState::EndOfLife, 50);
  return r.ok();
}

// The step an engineer rounds a value of the box to: 1 mm, 1 MPa, 0.1 a; otherwise a round
// hundredth of the range (0.01 for a humidity or a coefficient, 0.1 for a concentration).
double default_step(const sheet::FieldRow& f) {
  const std::string_view unit = f.typed.unit;
  if (unit == "mm" || unit == "MPa" || unit == "mpa") return 1;
  if (unit == "a") return 0.1;
  const double span = f.hi - f.lo;
  if (!(span > 0)) return 0;
  return std::pow(10.0, std::floor(std::log10(span / 100)));
}

QString box_caption(const sheet::FieldRow& f) {
  QString s = qs(f.label);
  if (!f.typed.unit.empty()) s += QStringLiteral("（%1）").arg(qs(f.typed.unit));
  return s + QStringLiteral("  %1--%2").arg(digits(f.lo), digits(f.hi));
}

}  // namespace

// One search: what the worker computes, and the thread. The worker writes the result or the
// refusal; the window reads them once the search has told it that it ended.
struct DesignWindow::Search {
  bool probabilistic = false;
  assess::DesignRequest request;
  assess::ReliabilityDesignRequest reliability;
  mc::RunControl control;
  std::atomic<int> done{0};
  std::atomic<int> expected{0};
  std::optional<assess::DesignResult> result;
  std::optional<assess::ReliabilityDesign> reliabilityResult;
  std::optional<analysis::Refusal<assess::DesignRefusal>> refusal;
  std::unique_ptr<BackgroundRun> thread;  // last: goes first, after the cancel

  void compute() {
    if (!probabilistic) {
      auto r = assess::design_for_target_life(request);
      if (r) {
        result = *r;
      } else {
        refusal = r.refusal();
      }
      return;
    }
    reliability.control = &control;
    reliability.progress = [this](int d, int e) {
      done = d;
      expected = std::max(d, e);
    };
    auto r = assess::design_for_target_beta(reliability);
    if (r) {
      result = r->design;
      reliabilityResult = r->reliability;
    } else {
      refusal = r.refusal();
    }
  }
  ~Search() {
    control.cancel = true;
    thread.reset();
  }
};

DesignWindow::DesignWindow(MainWindow& main, int sheet, QWidget* parent)
    : QWidget(parent),
      main_(main),
      sheet_(sheet),
      module_(*modules::all_modules().at(static_cast<std::size_t>(sheet - 1))),
      dialogs_(main.dialogs()) {
  setObjectName(QStringLiteral("designWindow"));
  const sheet::SheetTable& table = module_.table();
  auto* layout = new QVBoxLayout(this);

  member_ = new QLabel(this);
  member_->setObjectName(QStringLiteral("member"));
  member_->setWordWrap(true);
  member_->setText(
      QStringLiteral("构件：计算表“%1”中当前的输入（求解时读取）。").arg(qs(table.caption)));
  layout->addWidget(member_);

  auto* form = new QFormLayout;
  box_ = new QComboBox(this);
  box_->setObjectName(QStringLiteral("box"));
  for (const auto& f : table.fields) {
    if (!design_value(table, f)) continue;
    box_->addItem(box_caption(f), qs(sheet::control_name(f.control)));
  }
  if (const int cover = box_->findData(QStringLiteral("Text5")); cover >= 0) {
    box_->setCurrentIndex(cover);
  }
  form->addRow(QStringLiteral("求解的输入(&V)："), box_);
  limit_ = new QComboBox(this);
  limit_->setObjectName(QStringLiteral("limitState"));
  for (assess::LimitState s : assess::kAllLimitStates) {
    // A limit state the sheet reaches at 0 whatever the member (chloride admixed at casting
    // corrodes from the start) has nothing to design for.
    if (!assess::by_construction(&table, s).empty()) continue;
    limit_->addItem(qs(assess::limit_state_name(s)), static_cast<int>(s));
  }
  limit_->setCurrentIndex(limit_->count() - 1);
  form->addRow(QStringLiteral("极限状态(&L)："), limit_);
  targetLife_ = new QLineEdit(QStringLiteral("50"), this);
  targetLife_->setObjectName(QStringLiteral("targetLife"));
  targetLife_->setMaximumWidth(120);
  form->addRow(QStringLiteral("目标使用年限 (a)(&T)："), targetLife_);
  auto* stepRow = new QHBoxLayout;
  step_ = new QLineEdit(this);
  step_->setObjectName(QStringLiteral("step"));
  step_->setMaximumWidth(120);
  step_->setToolTip(QStringLiteral("答案按此步长向满足目标的一侧取整；空：不取整"));
  stepUnit_ = new QLabel(this);
  stepRow->addWidget(step_);
  stepRow->addWidget(stepUnit_);
  stepRow->addStretch(1);
  auto* stepLabel = new QLabel(QStringLiteral("取整步长(&U)："), this);
  stepLabel->setBuddy(step_);
  form->addRow(stepLabel, stepRow);

  auto* method = new QHBoxLayout;
  deterministic_ = new QRadioButton(QStringLiteral("按计算表(确定性)(&J)"), this);
  deterministic_->setObjectName(QStringLiteral("deterministic"));
  probabilistic_ = new QRadioButton(QStringLiteral("按可靠指标(概率)(&P)"), this);
  probabilistic_->setObjectName(QStringLiteral("probabilistic"));
  auto* group = new QButtonGroup(this);
  group->addButton(deterministic_);
  group->addButton(probabilistic_);
  deterministic_->setChecked(true);
  method->addWidget(deterministic_);
  method->addWidget(probabilistic_);
  method->addStretch(1);
  form->addRow(QStringLiteral("方法："), method);

  auto* reliability = new QHBoxLayout;
  const auto addEdit = [&](const QString& label, const QString& text, const char* name) {
    auto* l = new QLabel(label, this);
    auto* edit = new QLineEdit(text, this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaximumWidth(110);
    l->setBuddy(edit);
    reliability->addWidget(l);
    reliability->addWidget(edit);
    return edit;
  };
  beta_ = addEdit(QStringLiteral("目标可靠指标 β："), QStringLiteral("1.3"), "targetBeta");
  samples_ = addEdit(QStringLiteral("样本数："), QStringLiteral("10000"), "samples");
  seed_ = addEdit(QStringLiteral("随机数种子："), QStringLiteral("1"), "seed");
  reliability->addStretch(1);
  form->addRow(QString(), reliability);
  layout->addLayout(form);

  auto* buttons = new QHBoxLayout;
  solve_ = new QPushButton(QStringLiteral("求解(&S)"), this);
  solve_->setObjectName(QStringLiteral("solve"));
  cancel_ = new QPushButton(QStringLiteral("取消(&Q)"), this);
  cancel_->setObjectName(QStringLiteral("cancel"));
  fill_ = new QPushButton(QStringLiteral("填入计算表(&F)"), this);
  fill_->setObjectName(QStringLiteral("fill"));
  fill_->setToolTip(QStringLiteral("把答案输入计算表中该输入框"));
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  buttons->addWidget(solve_);
  buttons->addWidget(cancel_);
  buttons->addWidget(fill_);
  buttons->addWidget(progress_, 1);
  layout->addLayout(buttons);

  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("summary"));
  summary_->setWordWrap(true);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(summary_);
  chartArea_ = new QVBoxLayout;
  layout->addLayout(chartArea_, 1);

  connect(box_, &QComboBox::currentIndexChanged, this, &DesignWindow::boxChanged);
  boxChanged();
  connect(solve_, &QPushButton::clicked, this, &DesignWindow::solve);
  connect(cancel_, &QPushButton::clicked, this, &DesignWindow::cancel);
  connect(fill_, &QPushButton::clicked, this, &DesignWindow::fillSheet);
  connect(deterministic_, &QRadioButton::toggled, this, &DesignWindow::updateMethod);
  setRunning(false);
  updateMethod();
  resize(760, 640);
}

DesignWindow::~DesignWindow() = default;

bool DesignWindow::isRunning() const {
  return search_ != nullptr;
}

void DesignWindow::boxChanged() {
  const sheet::Control c = analysis::batch::control_by_name(
      module_.table(), box_->currentData().toString().toStdString());
  const sheet::FieldRow* f = module_.table().field(c);
  if (f == nullptr) return;
  const double step = default_step(*f);
  step_->setText(step > 0 ? digits(step) : QString());
  stepUnit_->setText(qs(f->typed.unit));
}

void DesignWindow::choose(const QString& name, assess::LimitState state) {
  const sheet::Control c = analysis::batch::control_by_name(module_.table(), name.toStdString());
  const int i = box_->findData(qs(sheet::control_name(c)));
  if (i >= 0) box_->setCurrentIndex(i);
  const int l = limit_->findData(static_cast<int>(state));
  if (l >= 0) limit_->setCurrentIndex(l);
}

void DesignWindow::updateMethod() {
  const bool probabilistic = probabilistic_->isChecked();
  const bool idle = !isRunning();
  beta_->setEnabled(idle && probabilistic);
  samples_->setEnabled(idle && probabilistic);
  seed_->setEnabled(idle && probabilistic);
}

void DesignWindow::setRunning(bool running) {
  solve_->setEnabled(!running);
  // A deterministic search takes a few dozen calculations: only a probabilistic one is
  // cancelled.
  cancel_->setEnabled(running && search_ && search_->probabilistic);
  fill_->setEnabled(!running && result_ && result_->written);
  box_->setEnabled(!running);
  limit_->setEnabled(!running);
  targetLife_->setEnabled(!running);
  deterministic_->setEnabled(!running);
  probabilistic_->setEnabled(!running);
  updateMethod();
}

std::optional<std::vector<analysis::batch::Entry>> DesignWindow::currentMember() const {
  const QtSheetView* view = main_.sheetView(sheet_);
  if (view == nullptr) return std::nullopt;
  return analysis::project::member_entries(
      analysis::project::member_from_view(std::string(), module_, *view));
}

void DesignWindow::solve() {
  if (search_) return;
  const auto member = currentMember();
  if (!member) {
    dialogs_.showWarning(this, kTitle,
                         QStringLiteral("计算表“%1”已关闭：请打开它并输入构件后再求解。")
                             .arg(qs(module_.table().caption)));
    return;
  }
  const double target = typed_number(targetLife_->text()).value_or(0);
  if (!(target > 0)) {
    dialogs_.showWarning(this, kInputCheckTitle, QStringLiteral("目标使用年限须为大于 0 的数!"));
    targetLife_->setFocus();
    return;
  }
  auto search = std::make_unique<Search>();
  const auto state = static_cast<assess::LimitState>(limit_->currentData().toInt());
  const std::string box = box_->currentData().toString().toStdString();
  search->probabilistic = probabilistic_->isChecked();
  if (search->probabilistic) {
    assess::ReliabilityDesignRequest& r = search->reliability;
    r.module = &module_;
    r.member = *member;
    r.box = box;
    r.limitState = state;
    r.targetLife = target;
    const std::optional<double> beta = typed_number(beta_->text());
    r.targetBeta = beta.value_or(0);
    if (!beta) {
      dialogs_.showWarning(this, kInputCheckTitle, QStringLiteral("目标可靠指标必须是一个数!"));
      beta_->setFocus();
      return;
    }
    r.samples = typed_count(samples_->text()).value_or(0);
    if (r.samples == 0 || r.samples > mc::kMaxSamples) {
      dialogs_.showWarning(this, kInputCheckTitle,
                           QStringLiteral("样本数必须在 1--10000000 之间!"));
      samples_->setFocus();
      return;
    }
    const std::optional<std::uint64_t> seed = typed_count(seed_->text());
    r.seed = seed.value_or(0);
    if (!seed) {
      dialogs_.showWarning(this, kInputCheckTitle,
                           QStringLiteral("随机数种子必须是不小于 0 的整数!"));
      seed_->setFocus();
      return;
    }
  } else {
    search->request = {&module_, *member, box, state, target};
  }
  solvedMember_ = *member;
  result_.reset();
  if (chart_ != nullptr) {
    chart_->deleteLater();
    chart_ = nullptr;
  }
  summary_->setText(QStringLiteral("正在求解……"));
  progress_->setRange(0, search->probabilistic ? 1 : 0);  // busy without a count
  progress_->setValue(0);
  search_ = std::move(search);
  setRunning(true);
  Search* s = search_.get();
  search_->thread = std::make_unique<BackgroundRun>(
      this, [s] { s->compute(); }, [this](const QString& error) { searchFinished(error); },
      [this, s] {
        if (!s->probabilistic) return;
        progress_->setRange(0, std::max(1, s->expected.load()));
        progress_->setValue(s->done.load());
      });
}

void DesignWindow::cancel() {
  if (search_) search_->control.cancel = true;
}

void DesignWindow::searchFinished(const QString& error) {
  std::unique_ptr<Search> s = std::move(search_);
  s->thread.reset();
  progress_->setRange(0, 1);
  progress_->setValue(s->result ? 1 : 0);
  if (!error.isEmpty()) {
    summary_->setText(QStringLiteral("求解失败：%1").arg(error));
  } else if (s->refusal) {
    summary_->setText(QStringLiteral("未能求解：%1").arg(qs(s->refusal->text)));
  } else {
    result_ = std::move(s->result);
    probabilisticResult_ = s->probabilistic;
  }
  showResult();
  setRunning(false);
  emit searchEnded();
}

QStringList DesignWindow::roundedAnswer() {
  rounded_.reset();
  const assess::SolveResult& sr = result_->solve;
  const sheet::FieldRow* f = module_.table().field(result_->box);
  if (sr.status != assess::SolveStatus::Solved || !sr.answer || f == nullptr) return {};
  const QString unit = f->typed.unit.empty() ? QString() : QStringLiteral(" ") + qs(f->typed.unit);
  const double exact = *sr.answer;
  // The exact answer as the summary below writes it (its digits on the side that meets the
  // target), so that the two lines never give two different figures for one answer.
  const QString exactText =
      (result_->written ? digits(*result_->written) : short_digits(exact)) + unit;
  QStringList lines;
  // An answer within a step of an end of the range: the sheet takes nothing beyond it.
  const double step = typed_number(step_->text()).value_or(0);
  const double near = step > 0 ? step : (f->hi - f->lo) / 100;
  if (exact - f->lo <= near || f->hi - exact <= near) {
    lines << QStringLiteral("答案位于“%1”有效范围 %2--%3 的端点附近：范围之外的值计算表不接受。")
                 .arg(qs(f->label), digits(f->lo), digits(f->hi));
  }
  if (!(step > 0)) return lines;
  // Towards the values that meet the target: larger ones when the result grows with the value.
  const bool up = sr.direction == assess::Direction::Increasing;
  const double q = exact / step;
  const double r = (up ? std::ceil(q - 1e-9) : std::floor(q + 1e-9)) * step;
  const double value = std::stod(sheet::general_digits(r, 12));  // no binary leftovers
  const QString said = digits(value) + unit;
  if (value < f->lo || value > f->hi) {
    lines << QStringLiteral("按步长 %1 取整得 %2，超出有效范围 %3--%4；答案取精确值 %5。")
                 .arg(digits(step) + unit, said, digits(f->lo), digits(f->hi), exactText);
    return lines;
  }
  const QString state = qs(assess::limit_state_name(result_->limitState));
  if (!probabilisticResult_) {
    // Checked by the sheet's own calculation.
    const assess::Evaluation e =
        assess::evaluate_life(module_, solvedMember_, result_->box, result_->limitState, value);
    if (!e.result) {
      lines << QStringLiteral("按步长 %1 取整得 %2，但计算表在该值停止：%3；答案取精确值 %4。")
                   .arg(digits(step) + unit, said, qs(e.failure), exactText);
      return lines;
    }
    const bool meets = *e.result >= result_->targetLife;
    lines.prepend(QStringLiteral("取整答案：%1 = %2（按步长 %3 取在满足目标的一侧；精确值 %4），"
                                 "此时%5龄期为 %6 a%7。")
                      .arg(qs(f->label), said, digits(step) + unit, exactText, state,
                           QString::number(*e.result, 'f', 1),
                           meets ? QStringLiteral("，满足目标")
                                 : QStringLiteral("，未满足目标（结果在该处不单调）")));
    if (meets) rounded_ = value;
    return lines;
  }
  // A reliability index is not run again at the rounded value: its side follows from the
  // search, which found the index moving one way with the value.
  if (sr.monotone) {
    rounded_ = value;
    lines.prepend(QStringLiteral("取整答案：%1 = %2（按步长 %3 取在满足目标的一侧；精确值 %4；"
                                 "该值处的可靠指标未另行计算，搜索中它随该值单调变化）。")
                      .arg(qs(f->label), said, digits(step) + unit, exactText));
  }
  return lines;
}

void DesignWindow::showResult() {
  if (!result_) return;
  QStringList lines = roundedAnswer();
  lines << qs(result_->summary);
  for (const auto& note : result_->solve.notes) lines << QStringLiteral("注：") + qs(note.zh);
  summary_->setText(lines.join(QLatin1Char('\n')));
  chart_ = new CurveChartView(result_->chart, this);
  chart_->setObjectName(QStringLiteral("designChart"));
  chart_->setMinimumSize(420, 300);
  chartArea_->addWidget(chart_);
}

void DesignWindow::fillSheet() {
  if (!result_ || !result_->written || isRunning()) return;
  const QString text = rounded_ ? digits(*rounded_) : qs(assess::value_text(*result_->written));
  QtSheetView* view = main_.sheetView(sheet_);
  std::vector<analysis::batch::Entry> entries;
  if (view == nullptr) {
    // Reopened with its default texts: the member of the search is typed in first.
    view = main_.showSheet(sheet_);
    if (view == nullptr) return;
    for (const auto& e : solvedMember_) {
      if (e.control != result_->box) entries.push_back(e);
    }
  } else {
    const auto now = currentMember();
    const auto others = [this](const std::vector<analysis::batch::Entry>& m) {
      std::vector<std::pair<sheet::Control, std::string>> out;
      for (const auto& e : m) {
        if (e.control != result_->box) out.emplace_back(e.control, e.text);
      }
      return out;
    };
    if (now && others(*now) != others(solvedMember_)) {
      const auto answer = dialogs_.ask(
          this, kTitle,
          QStringLiteral("求解后计算表中的其他输入已改变，答案是按求解时的输入得出的。\n"
                         "仍要把 %1 填入“%2”吗？")
              .arg(text, qs(result_->label)),
          kYesNo, 1);
      if (answer != 0) return;
    }
  }
  entries.push_back({result_->box, text.toStdString()});
  analysis::batch::Typist typist(view->controller(), *view, {});
  typist.type(entries);
  if (QMdiSubWindow* sub = qobject_cast<QMdiSubWindow*>(view->parentWidget())) {
    main_.mdiArea()->setActiveSubWindow(sub);
  }
}

QAction* install_design_menu(MainWindow& main) {
  auto* action = main.analysisMenu()->addAction(QStringLiteral("设计(&D)…"));
  action->setObjectName(QStringLiteral("menu_design"));
  action->setStatusTip(QStringLiteral("求满足目标使用年限的输入值"));
  auto target = [&main]() -> int {
    if (const int n = main.activeSheet()) return n;
    if (const QMdiSubWindow* w = main.mdiArea()->activeSubWindow()) {
      if (const auto* d = qobject_cast<const DesignWindow*>(w->widget())) return d->sheet();
    }
    return 0;
  };
  QObject::connect(action, &QAction::triggered, &main, [&main, target] {
    const int n = target();
    if (n == 0) {
      main.dialogs().showWarning(&main, kTitle,
                                 QStringLiteral("请先打开一个计算表，并使它成为活动窗口!"));
      return;
    }
    auto* window = new DesignWindow(main, n);
    const auto& caption =
        modules::all_modules().at(static_cast<std::size_t>(n - 1))->table().caption;
    main.addChildWindow(window, kTitle + QStringLiteral(" — ") + qs(caption));
  });
  return action;
}

}  // namespace pellucor::shell
