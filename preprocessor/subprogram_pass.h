// Pass 1, part B: the subprogram loop over the procedures after the type
// part, and the state its translators share.
#pragma once

#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>
#include <string>
#include <string_view>

#include "preprocessor/directives.h"
#include "preprocessor/mproc_tables.h"
#include "preprocessor/pass_context.h"
#include "preprocessor/proc_tables.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

class SubprogramPass {
 public:
  SubprogramPass(PassContext& c, TypeChain& types, ProcTables& procs, MprocTables& mprocs,
                 const Directives& directives, const std::string& accessPrefix)
      : c_(c),
        types_(types),
        procs_(procs),
        mprocs_(mprocs),
        directives_(directives),
        accessPrefix_(accessPrefix) {}

  // Runs the whole loop; the statement list holds the token that ended the
  // type part. Ends by writing the last statement (the end-of-file mark).
  void Run();

 private:
  bool IsSubprogramKeyword(const TokenNode* t) const;
  // New statement, tokens up to one of `words`, a subprogram keyword or end
  // of file; cut there. Sets keywordSeen_ for the latter two.
  void ScanUntilWords(std::initializer_list<std::string_view> words);
  void SkipToSubprogram();
  void CopyPlainSubprogram();
  void CreateBuiltins();
  // Writes and drops the statement's tokens before Current.
  void EmitAllButCurrent();

  // The keyword becomes PROCEDURE; false when no name follows.
  bool StartSubprogram();
  // Equation procedures (equation_procs.cpp).
  void ProcessXproc(const std::string& keyword);
  bool ParseXprocHeading(ProcParam*& params, VarLengthUse*& uses);
  bool ParseParamGroup(ProcParam*& params, VarLengthUse*& uses, bool& last);
  void AddGuardTerm(const std::string& name, TypeRecord* type);
  void TranslateBody();
  bool RewriteStatement();
  void ReportUnused();
  void LogFinished(const NameRef& name);

  // Model procedures (model_procs.cpp).
  void ProcessMproc();
  bool ParseLocals();
  void ParseLocalDeclaration(bool first);
  void TranslateMprocBody();
  bool ParseMfor(LoopRange& range);
  void ProcessCall(const std::optional<LoopRange>& loop);
  void ProcessXprocCall(XprocRecord* p, const std::optional<LoopRange>& loop);
  void ProcessMprocCall(MprocRecord* q, const std::optional<LoopRange>& loop);
  bool ResolveArgument(std::vector<TokenNode*>& arg, ProcParam* formal, ArgPath& path);
  void AppendSizeArguments(VarLengthUse* uses,
                           const std::vector<std::pair<TypeRecord*, TypeRecord*>>& bound);
  DimRecord* LoopDims(const LoopRange& loop);
  void Bind(std::vector<std::pair<TypeRecord*, TypeRecord*>>& bound, TypeRecord* formal, TypeRecord* actual);
  bool UsesName(const MprocRecord& q, ArgPath::Root root, NameRef name) const;
  void WarnUnusedFormals(const MprocRecord& q, int line);
  void RejectUnusedLocals(const MprocRecord& q, const CallRecord& call);
  void CloseMproc();

  PassContext& c_;
  TypeChain& types_;
  ProcTables& procs_;
  MprocTables& mprocs_;
  const Directives& directives_;
  const std::string& accessPrefix_;
  MprocRecord* mproc_ = nullptr;
  bool inMproc_ = false;

  XprocRecord* xproc_ = nullptr;
  char storageLetter_ = '0';
  TokenList storage_;  // the VAR block of storage overlays
  TokenList guard_;    // the change guard
  bool keywordSeen_ = false;
};

// The pass-1 part B driver.
void RunSubprogramPass(PassContext& c, TypeChain& types, ProcTables& procs, MprocTables& mprocs,
                       const Directives& directives, const std::string& accessPrefix);

}  // namespace krv::pp
