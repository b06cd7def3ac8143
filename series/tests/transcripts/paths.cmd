# Path matching over the names AB, ABC, ABCD, CD, XCD, CDX, AC, AXC, ABBC.
create T
put 0 1 1
save 0 AB
save 0 ABC
save 0 ABCD
save 0 CD
save 0 XCD
save 0 CDX
save 0 AC
save 0 AXC
save 0 ABBC
# "?" stands for one character, also past the end of the name.
combo AB?
# A last "*" matches any rest.
combo AB*
# A first "*" matches names that end with the rest.
combo *CD
# "*" inside a component stands for one character.
combo A*C
# Letter case is ignored both ways.
combo .abc
# A second "*" after a first is a syntax error; so is an empty component.
combo *C*D
names A..B
names .
log
# Find takes neither an anchored path nor a leading "*", without a word.
find &.AB
find *CD
find AB?
# A relative path is looked up under the current DSDir.
mkdir .P
cd .P
save 0 S1
find S1
find .P.S1
cd
find S1
# .A.B with B a DSDir visits B itself; .A.& visits every series below A,
# and a DSDir only when it is empty.
mkdir .A
mkdir .A.B
mkdir .A.E
save 0 .A.B.S
save 0 .A.X
save 0 .X
names .A.B
names .A.&
names .A&
names .A.E.&
log
# &.X is every entry named X at any depth, .X itself too.
names &.X
names &A.X
names &
log
# No more than 15 components.
find .A.A.A.A.A.A.A.A.A.A.A.A.A.A.A
find .A.A.A.A.A.A.A.A.A.A.A.A.A.A.A.A
# A blank ends a path; leading blanks are skipped.
find    .A.X trailing words
