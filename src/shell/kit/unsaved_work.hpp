// What a child window holds that closing it would lose, told to whoever closes every window at
// once (the end of the program), so that one question covers all of it: a window asks for
// itself only when it alone is closed.
//
//   class MemberTable : public QWidget, public UnsavedWork { ... };
//   for (const QString& line : table->unsavedWork()) ...;   // "表中有已计算、尚未导出的结果"
//   table->closeWithoutAsking();                             // the user has agreed already
#pragma once

#include <QStringList>

namespace pellucor::shell {

class UnsavedWork {
 public:
  virtual ~UnsavedWork() = default;
  // One line per thing that closing the window now would lose (a run going on counts too), in
  // the user's words; empty when nothing would be lost.
  virtual QStringList unsavedWork() const = 0;
  // The next close asks nothing and loses what unsavedWork() named (a run going on is
  // cancelled): the user has agreed to that already.
  virtual void closeWithoutAsking() = 0;
};

}  // namespace pellucor::shell
