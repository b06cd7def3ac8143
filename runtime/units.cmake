# The solver runtime's units, in the order they are shipped: each compiles
# to UNIT.o and UNIT.ppu. The build compiles them; the installer moves them.
set(KRV_RUNTIME_UNITS KRVPROCS DPARPROC KRVFILE KRVPRB KRVBLOCK KRVNEWT KRVTTR KRVDSF KRVSTEP KRVLSQ KRVSOLVE)
