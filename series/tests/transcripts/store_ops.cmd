# Creating a new file detaches the one attached before.
create A
put 0 1 1
save 0 S
create B
find .S
free 0
put 0 1 1
# Saving .P.S when .P does not exist.
save 0 .P.S
mkdir .P
mkdir .P
save 0 .P.S
# Saving S relative to the current DSDir .P writes .P.S2.
cd .P.
save 0 S2
names &
log
# The current DSDir: ".A." is .A, an empty path the root, a missing one fails.
cd .NOPE
cd
find S2
# A save clears the X link; details show it.
put 1 0 10
put 1 1 11
save 1 .P.X
setx .P.X .P.S
details .P.S
log
save 0 .P.S
details .P.S
log
# An empty X path removes the link of every matching Y series.
setx .P.X .P.&
unsetx .P.&
details .P.S2
log
# Loading a Y series whose X series is not open: a warning, no X slot;
# loading the X series first links them.
setx .P.X .P.S
free 0
free 1
open 5 .P.S
dump 5
open 6 .P.X
open 7 .P.S
dump 7
# A DSDir is not a series.
open 8 .P
open 8 .NONE
# Load fills free columns from the one given, and reloads an open series
# in place.
load 3 .P.&
dump 3
load 3 .P.S
dump 5
# No free column left.
mkdir .Q
put 0 2 2
save 0 .Q.A
save 0 .Q.B
free 0
load 509 .Q.&
dump 509
rowuse
rowuse -5 12
rowuse
erase .P.S
erase .P.S
find .P.S
# A DSDir that holds entries is not deleted.
rmdir .P
log
