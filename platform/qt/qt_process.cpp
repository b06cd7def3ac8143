// Detached program starts through QProcess.
#include "platform/qt/qt_process.h"

#include <QProcess>
#include <QStringList>

#include "platform/qt/latin1.h"

namespace krv::platform {

bool QtProcessStarter::StartDetached(const std::string& program,
                                     const std::vector<std::string>& args,
                                     const std::string& workDir) {
  QStringList list;
  for (const auto& a : args) list << FromBytes(a);
  return QProcess::startDetached(FromBytes(program), list, FromBytes(workDir));
}

}  // namespace krv::platform
