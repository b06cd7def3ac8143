// Dotted DSF paths and the one walker that serves every query and bulk
// operation on the attached file's DSDir tree.
//
// Operations that change the file (replace, set X, erase, delete a DSDir)
// collect their matches while the walk reads and checks the tree, and
// write only once the whole walk has gone through: a damaged file is then
// refused without a half-done change.
#include <algorithm>
#include <optional>

#include "platform/hourglass.h"
#include "platform/text.h"
#include "series/store_internal.h"

namespace krv::series {

struct SeriesStore::WalkContext {
  ParsedPath parsed;
  DSFOperation operation = kOpFind;
  bool stop = false;
  int depth = 0;
  std::array<DSDirEntry, kMaxDepth + 1> stack;  // level 0 is the root
  DSDirEntry* resultEntry = nullptr;
  std::string* resultPath = nullptr;
  DSDirEntry searchEntry;
  bool found = false;
  int32_t xRecord = 0;
  std::array<DSDirEntry, kMaxDepth + 1> printedStack;
  int printedDepth = 0;
  ColumnSlot* slotTable = nullptr;
  int loadColumn = 0;
  bool* failure = nullptr;
  RecordSet seen;  // DSDir blocks read by this walk

  // A change found by the walk, made once the walk is through.
  struct Change {
    DSFOperation operation;
    DSDirEntry entry;
    DSDirEntry parent;
    std::string path;
    ColumnSlot* slot = nullptr;
    SeriesHeadRecord head;
    std::vector<int32_t> chain;
  };
  std::vector<Change> changes;
};

// ---- Parsing and matching ----

bool SeriesStore::ParseDSFPath(const std::string& path, ParsedPath& out, bool& failure) {
  out = ParsedPath();
  auto syntaxError = [&] {
    failure = true;
    FailureFlag = true;
    ReportError("Name syntax err");
    return false;
  };
  std::string s = path.substr(0, kShortMax) + " ";
  size_t i = s.find_first_not_of(' ');
  if (i == std::string::npos) {
    out.rootOnly = true;
    return true;
  }
  if (s[i] == '&') {
    out.anchored = true;
    out.components.push_back({"&", false});
    ++i;
    if (s[i] == '.') ++i;
  } else if (s[i] == '.') {
    ++i;
  } else {
    s = (CurrentDSDirPath + "." + s.substr(i)).substr(0, kShortMax) + " ";
    i = 1;
  }
  if (s[i] == ' ') {
    if (out.anchored)
      out.everything = true;
    else
      out.rootOnly = true;
    return true;
  }
  for (;;) {
    char c = s[i];
    if (c == '.' || c == ' ') return syntaxError();
    PathComponent comp{std::string(1, platform::UpperAscii(c)), c == '*'};
    for (++i; s[i] != '.' && s[i] != '&' && s[i] != ' '; ++i) {
      if (s[i] == '*' && comp.star) return syntaxError();
      if (comp.text.size() < kComponentMax) comp.text += platform::UpperAscii(s[i]);
    }
    out.components.push_back(std::move(comp));
    if (s[i] == '&') out.components.push_back({"&", false});
    // Deeper than the tree may go: refused rather than walked.
    if (out.Count() > kMaxDepth) return syntaxError();
    if (s[i] != '.') break;
    ++i;
  }
  out.endsWithAmp = out.components.back().text == "&";
  return true;
}

bool SeriesStore::MatchNameComponent(const PathComponent& component, const std::string& name) {
  const std::string& t = component.text;
  if (!component.star && t.find_first_of("?*") == std::string::npos) {
    // A plain name, the walk's usual case: equal lengths and letters,
    // without making an upper-case copy of every entry's name.
    if (name.size() != t.size()) return false;
    for (size_t i = 0; i < t.size(); ++i)
      if (platform::UpperAscii(name[i]) != t[i]) return false;
    return true;
  }
  return pe::MatchMaskSegment(component, platform::UpperAscii(name));
}

// ---- The walk ----

std::string SeriesStore::BuildEntryPath(const WalkContext& c) const {
  std::string p;
  for (int i = 1; i <= c.depth; ++i) {
    p += '.';
    p += c.stack[size_t(i)].name;
  }
  return p.substr(0, kShortMax);
}

bool SeriesStore::RootFilter(const WalkContext& c) const {
  int n = c.parsed.Count() - 1;  // the components before the final "&"
  for (int i = 1; i <= n; ++i) {
    if (c.depth < i) return false;
    if (!MatchNameComponent(c.parsed.components[size_t(i - 1)], c.stack[size_t(i)].name))
      return false;
  }
  return true;
}

bool SeriesStore::EndFilter(const WalkContext& c) const {
  if (c.parsed.everything) return true;
  int level = c.depth;
  for (int j = c.parsed.Count() - 1; j >= 0; --j, --level) {
    const PathComponent& comp = c.parsed.components[size_t(j)];
    if (comp.text == "&") return true;
    if (level < 1) return false;
    if (!MatchNameComponent(comp, c.stack[size_t(level)].name)) return false;
  }
  return true;
}

void SeriesStore::ExactStep(WalkContext& c, const DSDirEntry& e) {
  c.stack[size_t(c.depth)] = e;
  if (e.IsDSDir() && c.depth < c.parsed.Count()) {
    CheckLink(e.record);
    ExactWalk(c, e.record);
  } else if (c.depth == c.parsed.Count()) {
    Visit(c, e);
  }
}

void SeriesStore::ExactWalk(WalkContext& c, int32_t record) {
  ++c.depth;
  const PathComponent& comp = c.parsed.components[size_t(c.depth - 1)];
  const DirIndex* index = nullptr;
  if (!comp.star && comp.text.find_first_of("?*") == std::string::npos) index = IndexOf(record);
  if (index) {
    // The same blocks met in the same order as below, without reading
    // the entries that cannot match.
    static const std::vector<DirIndex::Hit> kNone;
    auto it = index->byName.find(comp.text);
    const std::vector<DirIndex::Hit>& hits = it == index->byName.end() ? kNone : it->second;
    size_t h = 0;
    for (size_t pos = 0; pos < index->records.size() && !c.stop; ++pos) {
      if (!c.seen.Insert(index->records[pos])) Damaged();
      for (; h < hits.size() && size_t(hits[h].pos) == pos && !c.stop; ++h)
        ExactStep(c, hits[h].entry);
    }
    --c.depth;
    return;
  }
  for (int32_t rec = record; rec != 0 && !c.stop;) {
    if (!c.seen.Insert(rec)) Damaged();
    DSDirBlock scratch;
    const DSDirBlock& b = ReadDirBlock(rec, scratch);
    for (const DSDirEntry& e : b.entries) {
      if (!e.Used() || !MatchNameComponent(comp, e.name)) continue;
      ExactStep(c, e);
      if (c.stop) break;
    }
    rec = b.link;
  }
  --c.depth;
}

bool SeriesStore::FullWalk(WalkContext& c, int32_t record) {
  ++c.depth;
  bool any = false;
  for (int32_t rec = record; rec != 0 && !c.stop;) {
    if (!c.seen.Insert(rec)) Damaged();
    DSDirBlock scratch;
    const DSDirBlock& b = ReadDirBlock(rec, scratch);
    for (const DSDirEntry& e : b.entries) {
      if (!e.Used()) continue;
      any = true;
      if (c.depth > kMaxDepth) Damaged();  // no path can name it
      c.stack[size_t(c.depth)] = e;
      bool offered = true;
      if (e.IsDSDir()) {
        CheckLink(e.record);
        offered = !FullWalk(c, e.record);
        if (c.stop) break;
      }
      if (offered && (c.parsed.endsWithAmp ? RootFilter(c) : EndFilter(c))) Visit(c, e);
      if (c.stop) break;
    }
    rec = b.link;
  }
  --c.depth;
  return any;
}

void SeriesStore::WalkDSFPath(const std::string& path, DSFOperation operation, bool& failure,
                              ColumnSlot* slotTable, std::string& resultPath,
                              DSDirEntry& resultEntry, int firstColumn) {
  failure = false;
  if (!IsAttached()) {
    failure = true;
    ReportError("No DSF attached");
    return;
  }
  WalkContext c;
  c.operation = operation;
  c.failure = &failure;
  c.resultEntry = &resultEntry;
  c.resultPath = &resultPath;
  c.slotTable = slotTable ? slotTable : ColumnSlots.data();
  c.loadColumn = firstColumn;
  std::string walked = path;
  if (operation == kOpTree) {
    walked = "&";
    c.printedDepth = -1;
  }
  if (operation == kOpPathOf) c.searchEntry = resultEntry;
  if (operation == kOpSetX) c.xRecord = resultEntry.record;
  resultEntry.record = -1;
  if (!ParseDSFPath(walked, c.parsed, failure)) return;
  bool changes = operation == kOpReplace || operation == kOpSetX || operation == kOpErase ||
                 operation == kOpDeleteDSDir;
  try {
    std::optional<ChangeScope> change;
    std::optional<ReadScope> read;
    if (changes)
      change.emplace(*this);
    else
      read.emplace(*this);
    c.stack[0] = RootEntry();
    if (c.parsed.rootOnly) {
      c.depth = 0;
      Visit(c, RootEntry());
    } else {
      if (operation == kOpFind &&
          (c.parsed.anchored ||
           std::any_of(c.parsed.components.begin(), c.parsed.components.end(),
                       [](const PathComponent& p) { return p.star; }))) {
        failure = true;
        return;
      }
      platform::Hourglass hourglass;
      if (c.parsed.anchored || c.parsed.endsWithAmp)
        FullWalk(c, 1);
      else
        ExactWalk(c, 1);
    }
    ApplyChanges(c);
  } catch (const Fault& f) {
    failure = true;
    FailWith(f);
    return;
  }
  if (operation == kOpPathOf) failure = !c.found;
}

void SeriesStore::Visit(WalkContext& c, const DSDirEntry& e) {
  *c.resultEntry = e;
  bool series = !e.IsDSDir();
  switch (c.operation) {
    case kOpFind:
      c.stop = true;
      break;
    case kOpLoad:
      if (series) LoadVisited(c, e);
      break;
    case kOpDetails:
      if (series) SeriesDetails(c, e);
      break;
    case kOpNames:
      Log.AddLine((series ? "     " : "(dir)") + BuildEntryPath(c));
      break;
    case kOpTree:
      TreeListLine(c, e, false);
      break;
    case kOpDSDirCombo:
      TreeListLine(c, e, true);
      break;
    case kOpPathOf:
      if (e.record == c.searchEntry.record && e.kind == c.searchEntry.kind) {
        *c.resultPath = BuildEntryPath(c);
        c.found = true;
        c.stop = true;
      }
      break;
    case kOpReplace:
      if (series) {
        std::string p = BuildEntryPath(c);
        for (ColumnSlot* s : open_) {
          if (!SameNameNoCase(s->series_->descriptor.path, p)) continue;
          SeriesImage old = ReadSeries(e.record, p, false);
          c.changes.push_back({kOpReplace, e, {}, p, s, old.head, std::move(old.chain)});
          break;
        }
      }
      break;
    case kOpSetX:
      if (series) {
        std::string p = BuildEntryPath(c);
        SeriesImage old = ReadSeries(e.record, p, false);
        c.changes.push_back({kOpSetX, e, {}, p, nullptr, old.head, {}});
      }
      break;
    case kOpErase:
      if (series)
        c.changes.push_back({kOpErase, e, c.stack[size_t(c.depth - 1)], BuildEntryPath(c)});
      break;
    case kOpDeleteDSDir:
      if (series) break;
      if (c.depth == 0) {
        // The root holds the file together: it is never removed.
        *c.failure = true;
        FailureFlag = true;
        break;
      }
      c.changes.push_back({kOpDeleteDSDir, e, c.stack[size_t(c.depth - 1)], BuildEntryPath(c)});
      break;
    case kOpSeriesCombo:
      if (series) PickerList.push_back(BuildEntryPath(c));
      break;
    default:
      break;
  }
}

void SeriesStore::ApplyChanges(WalkContext& c) {
  if (c.changes.empty()) return;
  for (WalkContext::Change& ch : c.changes) {
    switch (ch.operation) {
      case kOpReplace:
        StoreImage(*ch.slot, ch.entry.record, ch.head, ch.chain);
        break;
      case kOpSetX:
        ch.head.header.xHead = c.xRecord;
        WriteRecord(ch.entry.record, EncodeHead(ch.head));
        break;
      case kOpErase:
        RemoveEntry(ch.parent, ch.entry.name, kSeriesKind);
        break;
      case kOpDeleteDSDir:
        if (!DSDirEmpty(ch.entry)) {
          ReportError("DSDir " + ch.path + " not empty");
          break;
        }
        RemoveEntry(ch.parent, ch.entry.name, kDSDirKind);
        // Later saves must not go to a place no path reaches.
        if (ch.entry.record == CurrentDSDirEntry.record) SetRootDir();
        break;
      default:  // the walk collects no other change
        break;
    }
  }
  WriteDSFHeader();
}

// ---- Visitor operations ----

void SeriesStore::LoadVisited(WalkContext& c, const DSDirEntry& e) {
  if (FailureFlag) {
    c.stop = true;
    return;
  }
  std::string p = BuildEntryPath(c);
  for (ColumnSlot* s : open_) {
    if (!SameNameNoCase(s->series_->descriptor.path, p)) continue;
    SeriesImage image = ReadSeries(e.record, p);
    int col = ColumnOf(s, c.slotTable);
    if (Display && col >= 0) Display->ClearColumnDisplay(col);
    ApplyImage(*s, e.record, p, image);
    if (Display && col >= 0) Display->ShowColumn(col);
    return;
  }
  int col = c.loadColumn;
  while (col <= HighestColumn && c.slotTable[col].IsOpen()) ++col;
  if (col > HighestColumn) {
    FailureFlag = true;
    c.stop = true;
    ReportError("LOAD ovflow");
    return;
  }
  SeriesImage image = ReadSeries(e.record, p);
  NewSeries(c.slotTable[col], true, "");
  ApplyImage(c.slotTable[col], e.record, p, image);
  if (Display) Display->ShowColumn(col);
  c.loadColumn = col + 1;
}

void SeriesStore::SeriesDetails(WalkContext& c, const DSDirEntry& e) {
  SeriesImage image = ReadSeries(e.record, BuildEntryPath(c), false);
  const SeriesHeader& h = image.head.header;
  using platform::IntToString;
  Log.AddLine("Series:");
  Log.AddLine(" " + BuildEntryPath(c));
  Log.AddLine(" ");
  Log.AddLine(" Last Save on " + IntToString(h.stamp.year - 1900) + "/" +
              IntToString(h.stamp.month) + "/" + IntToString(h.stamp.day) + " at " +
              IntToString(h.stamp.hour) + ":" + IntToString(h.stamp.minute));
  Log.AddLine(" ");
  if (h.Empty())
    Log.AddLine(" No data present");
  else
    Log.AddLine(" Indices: Lowest=" + IntToString(h.base + h.firstOffset) +
                "         Highest=" + IntToString(h.highest));
  Log.AddLine(" ");
  size_t cut = h.comment.find('\\');
  std::string first = h.comment.substr(0, cut);
  std::string second = cut == std::string::npos ? "" : h.comment.substr(cut + 1);
  Log.AddLine("    " + first.substr(0, 67));
  Log.AddLine("    " + second.substr(0, 67));
  Log.AddLine(" ");
  if (h.xHead != 0) {
    bool failure;
    std::string xPath;
    DSDirEntry search{h.xHead, "", kSeriesKind};
    WalkDSFPath("&", kOpPathOf, failure, nullptr, xPath, search);
    Log.AddLine(failure ? "Error in X specification" : "  X specified as " + xPath);
  } else {
    Log.AddLine("  No X specified");
  }
  Log.AddLine(" ");
  Log.AddLine(" ");
}

void SeriesStore::TreeListLine(WalkContext& c, const DSDirEntry& e, bool toPicker) {
  auto emit = [&](const std::string& line) {
    if (toPicker)
      PickerList.push_back(line);
    else
      Log.AddLine(line);
  };
  if (e.IsDSDir()) {
    emit(BuildEntryPath(c));
    c.printedDepth = c.depth + 1;
    c.printedStack = c.stack;
    return;
  }
  int n = c.depth;
  bool printed = c.printedDepth >= n &&
                 std::equal(c.stack.begin() + 1, c.stack.begin() + n, c.printedStack.begin() + 1);
  if (!printed) {
    std::string dir;
    for (int i = 1; i < n; ++i) dir += "." + c.stack[size_t(i)].name;
    emit(dir.substr(0, kShortMax));
  }
  c.printedDepth = n;
  c.printedStack = c.stack;
}

// ---- Entries of one DSDir ----

void SeriesStore::RemoveEntry(const DSDirEntry& dsdir, const std::string& name, uint8_t kind) {
  owners_.Forget();  // what the entry named is nobody's now
  std::vector<int32_t> records;
  std::vector<DSDirBlock> blocks;
  ReadDirChain(dsdir.record, records, blocks);
  for (size_t b = 0; b < blocks.size(); ++b) {
    for (DSDirEntry& e : blocks[b].entries) {
      if (e.Used() && e.name == name && e.kind == kind) {
        e.record = -1;
        WriteDirBlock(records[b], blocks[b]);
        return;
      }
    }
  }
}

bool SeriesStore::DSDirEmpty(const DSDirEntry& dsdir) {
  std::vector<int32_t> records;
  std::vector<DSDirBlock> blocks;
  ReadDirChain(dsdir.record, records, blocks);
  for (const DSDirBlock& b : blocks)
    for (const DSDirEntry& e : b.entries)
      if (e.Used()) return false;
  return true;
}

void SeriesStore::RemoveDSDirEntry(const DSDirEntry& dsdir, const std::string& name,
                                   uint8_t kind) {
  FailureFlag = false;
  if (!IsAttached()) return;
  try {
    ChangeScope change(*this);
    RemoveEntry(dsdir, name, kind);
    WriteDSFHeader();
  } catch (const Fault& f) {
    FailWith(f);
  }
}

bool SeriesStore::IsDSDirEmpty(const DSDirEntry& dsdir) {
  FailureFlag = false;
  if (!IsAttached()) return false;
  try {
    ReadScope read(*this);
    return DSDirEmpty(dsdir);
  } catch (const Fault& f) {
    FailWith(f);
    return false;
  }
}

// ---- The walk's callers ----

void SeriesStore::RunDSFOperation(const std::string& path, DSFOperation operation, bool& failure,
                                  ColumnSlot* slotTable) {
  std::string resultPath;
  DSDirEntry resultEntry;
  WalkDSFPath(path, operation, failure, slotTable, resultPath, resultEntry);
}

void SeriesStore::FindDSFEntry(const std::string& path, bool& failure, DSDirEntry& entry) {
  std::string resultPath;
  WalkDSFPath(path, kOpFind, failure, nullptr, resultPath, entry);
}

void SeriesStore::LoadSeriesToColumns(ColumnSlot* slotTable, int firstColumn,
                                      const std::string& path) {
  bool failure;
  std::string resultPath;
  DSDirEntry resultEntry;
  WalkDSFPath(path, kOpLoad, failure, slotTable, resultPath, resultEntry, firstColumn);
  FailureFlag = FailureFlag || failure;
}

void SeriesStore::ListSeriesDetails(const std::string& path) {
  bool failure;
  RunDSFOperation(path, kOpDetails, failure, nullptr);
  FailureFlag = failure;
}

void SeriesStore::ListDSFNames(const std::string& path) {
  bool failure;
  RunDSFOperation(path, kOpNames, failure, nullptr);
  FailureFlag = failure;
}

void SeriesStore::ListDSFTree() {
  bool failure;
  RunDSFOperation("&", kOpTree, failure, nullptr);
  FailureFlag = failure;
}

void SeriesStore::ReplaceSeriesInDSF(const std::string& path) {
  bool failure;
  RunDSFOperation(path, kOpReplace, failure, nullptr);
  FailureFlag = failure;
}

void SeriesStore::EraseSeries(const std::string& path) {
  bool failure;
  RunDSFOperation(path, kOpErase, failure, nullptr);
  FailureFlag = failure;
}

void SeriesStore::DeleteDSDir(const std::string& path) {
  bool failure;
  RunDSFOperation(path, kOpDeleteDSDir, failure, nullptr);
  FailureFlag = failure;
}

void SeriesStore::FillSeriesCombo(const std::string& path) {
  bool failure;
  RunDSFOperation(path, kOpSeriesCombo, failure, nullptr);
  FailureFlag = failure;
}

void SeriesStore::FillDSDirCombo(const std::string& path) {
  bool failure;
  RunDSFOperation(path, kOpDSDirCombo, failure, nullptr);
  FailureFlag = failure;
}

}  // namespace krv::series
