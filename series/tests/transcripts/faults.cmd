# Copying or moving a series onto itself changes nothing.
create T
put 0 1 1
copy 0 0
move 0 0
dump 0
# Values a single cannot hold are stored as the missing value.
put 0 2 nan
put 0 3 1e39
put 0 4 -inf
put 0 5 1e-39
get 0 2
get 0 3
get 0 4
get 0 5
# A first block below -32768 is refused.
put 0 -32768 7
dump 0
# A save onto a DSDir's entry is refused: it would overwrite its block.
mkdir .D
save 0 .D
find .D
# Entries never go into a series: a series as parent, or as current DSDir.
save 0 .S
save 0 .S.T
mkdir .S.T
cd .S
# Names longer than an entry holds, and empty names, are refused.
save 0 .ABCDEFGHIJKLMNOPQRSTUVWXYZ
mkdir .ABCDEFGHIJKLMNOPQRSTUVWXYZA
save 0 .D.
save 0 .ABCDEFGHIJKLMNOPQRSTUVWXY
save 0 .abcdefghijklmnopqrstuvwxy
names &
log
# A series opened under another spelling is reloaded in place.
free 0
open 3 .abcdefghijklmnopqrstuvwxy
load 4 .ABCDEFGHIJKLMNOPQRSTUVWXY
dump 4
# The root is never removed.
rmdir .
find .
# Deleting the current DSDir makes the root current.
mkdir .E
cd .E
rmdir .E
save 3 LATER
find .LATER
# X must be a series.
setx .D .S
# A series saved into another file takes that file's name and stamp, so
# its X link is found there.
put 1 0 0
put 1 1 1
create F1
save 1 .X
create F2
save 1 .X
put 2 5 5
save 2 .Y
setx .X .Y
free 2
open 2 .Y
dump 2
