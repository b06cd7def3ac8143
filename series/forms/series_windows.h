// The windows of the series store and the worksheet, with the store they
// show: made once at start, in this order, and kept until the end.
#pragma once

#include <functional>
#include <memory>

#include "series/LSQU.h"
#include "series/WkUnit.h"
#include "series/series_store.h"

class QWidget;

namespace krv::series {

class TWkFrm;
class TSerFrm;
class TLogFrm;
class TTVfrm;
class TNameFrm;
class TUseDlg;
class TRealEntry;
class TSimplFrm;
class TDecFrm;
class TForFrm;
class TLSQfrm;
class TLSQrunfrm;

struct SeriesWindows {
  // `parent` is the window the data-control dialog blocks (the main
  // window); `help` opens the modeller's guide.
  SeriesWindows(QWidget* parent, std::function<void()> help);
  ~SeriesWindows();
  SeriesWindows(const SeriesWindows&) = delete;
  SeriesWindows& operator=(const SeriesWindows&) = delete;

  SeriesStore Store;
  Worksheet Sheet{Store};
  LsqControl Lsq{Store, Sheet};
  TWkFrm* WkFrm;
  TLSQfrm* LSQfrm;
  TLSQrunfrm* LSQrunfrm;
  TSerFrm* SerFrm;
  TLogFrm* LogFrm;
  TTVfrm* TVfrm;
  TNameFrm* NameFrm;
  TUseDlg* UseDlg;
  TRealEntry* RealEntry;
  TSimplFrm* SimplFrm;
  TDecFrm* DecFrm;
  TForFrm* ForFrm;
};

}  // namespace krv::series
