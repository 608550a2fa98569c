#include "acquisition/qt_loop_host.h"

#include <QCoreApplication>

namespace acquisition {

QtLoopHost::QtLoopHost(const common::Clock &clock) : LoopHost(clock) { }

void QtLoopHost::pump_events() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace acquisition
