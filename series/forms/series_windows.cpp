// The windows of the series store and the worksheet.
#include "series/forms/series_windows.h"

#include "series/forms/DecU.h"
#include "series/forms/ForU.h"
#include "series/forms/NameU.h"
#include "series/forms/REntU.h"
#include "series/forms/SerUnit.h"
#include "series/forms/SimpU.h"
#include "series/forms/TLSQfrm.h"
#include "series/forms/TLSQrunfrm.h"
#include "series/forms/TLogFrm.h"
#include "series/forms/TWkFrm.h"
#include "series/forms/UseU.h"

namespace krv::series {

SeriesWindows::SeriesWindows(QWidget* parent, std::function<void()> help) {
  Store.SeriesUnitInit();
  // The data-control dialog blocks the windows of `parent` while it is up;
  // the worksheet it opens is a window of its own beside them, so that it
  // takes the mouse and keyboard. Each dialog belongs to the window that
  // opens it, in front of which it shows.
  WkFrm = new TWkFrm(Sheet, nullptr);
  LSQfrm = new TLSQfrm(Lsq, parent);
  LSQrunfrm = new TLSQrunfrm(Lsq, LSQfrm);
  SerFrm = new TSerFrm(Store, WkFrm);
  LogFrm = new TLogFrm(Store.Log, WkFrm);
  TVfrm = new TTVfrm(Store, WkFrm);
  SerFrm->SetTree(TVfrm);
  NameFrm = new TNameFrm(Store, WkFrm);
  UseDlg = new TUseDlg(Store, WkFrm);
  RealEntry = new TRealEntry(WkFrm);
  SimplFrm = new TSimplFrm(WkFrm);
  DecFrm = new TDecFrm(WkFrm);
  ForFrm = new TForFrm(WkFrm);
  WkFrm->SetDialogs({SerFrm, LogFrm, TVfrm, NameFrm, UseDlg, RealEntry, SimplFrm, DecFrm, ForFrm});
  WkFrm->SetHelp(std::move(help));
  LSQfrm->SetWindows(WkFrm, LogFrm, LSQrunfrm);
}

SeriesWindows::~SeriesWindows() {
  // The windows go before the store and the worksheet they show, each
  // dialog before the window it belongs to.
  for (QWidget* w : std::initializer_list<QWidget*>{LSQrunfrm, LSQfrm, SerFrm, LogFrm, TVfrm, NameFrm, UseDlg,
                                                    RealEntry, SimplFrm, DecFrm, ForFrm, WkFrm})
    delete w;
}

}  // namespace krv::series
