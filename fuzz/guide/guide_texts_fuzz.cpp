// Fuzzes the guide's readers of Helmsman.TXT, KRVUSER.PAS and options.txt on arbitrary bytes.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>

#include "guide/configuration.h"
#include "guide/user_unit.h"
#include "setup/fpc_path_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  krv::guide::ShellState state;
  state.MainDir = "/k/";
  krv::guide::ApplyConfiguration(text, state);
  assert(!state.compileWords.empty());
  if (auto owner = krv::guide::UserUnitOwner(text)) assert(owner->size() <= 31);
  std::string config = krv::setup::FpcPathFileText("/usr", text);
  assert(config.size() >= 10);
  return 0;
}
