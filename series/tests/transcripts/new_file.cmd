# A new file: the header and one empty root block, 256 bytes.
create T
# A file that exists is not touched.
create T
