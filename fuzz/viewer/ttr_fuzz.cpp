// Fuzzes attaching a trajectory with its variable map: the header checks,
// the map lines, the time table, record reads, the texts and the copy.
// Input: a 16-bit little-endian length n, n bytes of map, then the .TTR.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "platform/little_endian.h"
#include "viewer/var_selection.h"
#include "viewer/viewer_state.h"
#include "viewer/vnm_map.h"

using namespace krv::view;

static const std::string& WorkDir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/krv_ttr_fuzz.XXXXXX";
    return std::string(mkdtemp(tmpl));
  }();
  return dir;
}

static void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t n = krv::platform::GetU16(data);
  if (n > size - 2) n = size - 2;
  const uint8_t* vnm = data + 2;
  const uint8_t* ttr = vnm + n;
  size_t ttrSize = size - 2 - n;

  const std::string& dir = WorkDir();
  WriteFile(dir + "/F.TTR", ttr, ttrSize);
  // Put the map where the label says, unless the label names another folder.
  TTRHeader h;
  for (size_t i = 0; i < h.bytes.size() && i < ttrSize; ++i) h.bytes[i] = ttr[i];
  std::string label = h.Label();
  std::string base = label.size() > 21 ? label.substr(21, 18) : "";
  if (base.find_first_of(std::string("/\0", 2)) == std::string::npos && base != "." &&
      base != "..")
    WriteFile(dir + "/" + base + ".VNM", vnm, n);

  ParseVNMLine(std::string_view(reinterpret_cast<const char*>(vnm), n));

  ViewerState viewer;
  if (viewer.Attach(dir + "/F.TTR") != AttachStatus::Attached) return 0;
  SelectVariables(viewer, "0", std::to_string(viewer.D()), "&");
  SelectVariables(viewer, "0", std::to_string(viewer.D()), "(IO)_X.&.A*");
  for (int32_t jt : {viewer.JTmax(), viewer.JTmax() / 2, 0}) {
    viewer.GoToTimeStep(jt);
    for (int line = 0; line < kDisplayLines; ++line) {
      viewer.DisplayLineText(line);
      viewer.ButtonText(line);
    }
    viewer.TimeLabelText();
    viewer.LowTimeText();
    viewer.HighTimeText();
  }
  viewer.ScrollListToEnd();
  viewer.DisplayLineText(kDisplayLines - 1);
  viewer.CopyTruncated(dir + "/COPY.TTR");
  viewer.ReAttach();
  return 0;
}
