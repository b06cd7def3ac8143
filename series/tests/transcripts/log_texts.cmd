# The texts the store writes into the Log.
create T
new 0 first line\second line
put 0 -3 1
put 0 12 2
save 0 .Y
new 1 an empty series
save 1 .EMPTY
new 2 a comment of more than sixty-seven characters before its backslash, cut\and after
put 2 0 0
save 2 .LONG
put 3 0 0
save 3 .X
setx .X .Y
details &
log
# An X head record that no entry names any more.
erase .X
details .Y
log
# Names and the tree: each DSDir path once, an empty DSDir by itself.
mkdir .A
mkdir .A.B
mkdir .A.B.C
mkdir .A.E
save 3 .A.S1
save 3 .A.B.S2
save 3 .A.B.S3
save 3 .A.S4
names &
log
names .A.&
log
tree
log
dircombo &
dircombo .
combo .A.&
treeview 0
treeview 1
