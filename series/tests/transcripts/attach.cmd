create T
put 0 1 1
put 0 40 40
save 0 S1
close
# Grown by three records beyond next free: repaired on a read-write attach.
#! resize T.DSF 1024
attach T
find .S1
close
#! copy T.DSF R.DSF
#! resize R.DSF 1152
# Read-only: reported even with messages off, the file left as it is.
messages off
attachro R
messages on
open 1 .S1
get 1 1
close
# A file not there.
attach NOPE
find .S1
# An old layout is refused; the file attached before stays attached.
attach T
#! write OLD.DSF 00 00 00 00 05 00
attach OLD
find .S1
# A failed attach that detached leaves no stale path behind.
#! write SHORT.DSF 50 50 50 00 02 00
attach SHORT
find .S1
save 0 S2
