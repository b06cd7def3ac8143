// The model the least-squares road tests fit: one tank whose outflow rate K
// is to be estimated from its start and end levels.
#pragma once

namespace lsqfit {

// One tank drained at the rate K*LEVEL; its start level is the input L0
// and its level at the end the observation L. K is to be fitted.
const char* const kModel =
    "{ LSQFIT: one tank drained at the rate K*LEVEL. }\r\n"
    "VAR\r\n"
    "   K: DOUBLE;\r\n"
    "\r\n"
    "procedure PARSET;\r\n"
    "begin\r\n"
    "   _PARS(5,'','','K',K,0.5);\r\n"
    "   LSQSETUP('FIT','PR1');\r\n"
    "   _LSQBETA('K',K);\r\n"
    "   LSQDEP('L',_X.LEVEL);\r\n"
    "   _LSQINDEP('L0',_X.LEVEL);\r\n"
    "end;\r\n"
    "\r\n"
    "procedure SETUP;\r\nbegin\r\nend;\r\n\r\n"
    "procedure TIMESET;\r\nbegin\r\n   TSTART:=0;\r\n   TEND:=1;\r\n   TSTEP:=0.05;\r\nend;\r\n\r\n"
    "procedure REPORT;\r\nbegin\r\nend;\r\n\r\n"
    "procedure ADDSET;\r\nbegin\r\nend;\r\n\r\n"
    "procedure USERBPR;\r\nbegin\r\nend;\r\n\r\n"
    "XPROC OUTFLOW(VAROT Q: XVR;\r\n              VARIN LEVEL: XVR);\r\nBEGIN\r\n   Q := K*LEVEL;\r\nEND;\r\n\r\n"
    "XPROC BALANCE(VAROT DLEVEL: XVR;\r\n              VARIN Q: XVR);\r\nBEGIN\r\n   DLEVEL := -Q;\r\nEND;\r\n\r\n"
    "MPROC SYSTEM;\r\nVAR\r\n   LEVEL, DLEVEL, Q: XVR;\r\nBEGIN\r\n   OUTFLOW(Q, LEVEL);\r\n"
    "   BALANCE(DLEVEL, Q);\r\n   QTLINTEG(LEVEL, DLEVEL);\r\nEND;\r\n";

constexpr double kTrueK = 0.7;

}  // namespace lsqfit
