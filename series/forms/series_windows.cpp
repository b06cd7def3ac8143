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
  WkFrm = new TWkFrm(Sheet, parent);
  LSQfrm = new TLSQfrm(Lsq, parent);
  LSQrunfrm = new TLSQrunfrm(Lsq, parent);
  SerFrm = new TSerFrm(Store, parent);
  LogFrm = new TLogFrm(Store.Log, parent);
  TVfrm = new TTVfrm(Store, parent);
  SerFrm->SetTree(TVfrm);
  NameFrm = new TNameFrm(Store, parent);
  UseDlg = new TUseDlg(Store, parent);
  RealEntry = new TRealEntry(parent);
  SimplFrm = new TSimplFrm(parent);
  DecFrm = new TDecFrm(parent);
  ForFrm = new TForFrm(parent);
  WkFrm->SetDialogs({SerFrm, LogFrm, TVfrm, NameFrm, UseDlg, RealEntry, SimplFrm, DecFrm, ForFrm});
  WkFrm->SetHelp(std::move(help));
  LSQfrm->SetWindows(WkFrm, LogFrm, LSQrunfrm);
}

SeriesWindows::~SeriesWindows() {
  // The windows go before the store and the worksheet they show.
  for (QWidget* w : std::initializer_list<QWidget*>{WkFrm, LSQfrm, LSQrunfrm, SerFrm, LogFrm, TVfrm, NameFrm, UseDlg, RealEntry,
                                                    SimplFrm, DecFrm, ForFrm})
    delete w;
}

}  // namespace krv::series
