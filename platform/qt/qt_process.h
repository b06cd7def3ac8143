// Detached program starts through QProcess.
#pragma once

#include "platform/process_start.h"

namespace krv::platform {

class QtProcessStarter : public ProcessStarter {
 public:
  bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir) override;
};

}  // namespace krv::platform
