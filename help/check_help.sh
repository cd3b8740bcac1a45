#!/bin/sh
# Checks a compiled help file against its sources: chmls lists every file the project names, the
# table of contents and the index, and every page's links and every entry of the contents and the
# index lead to a topic in the file.
# usage: check_help.sh CN_Help.chm SOURCE_DIR
set -u
chm=$1
src=$2
listing=$(chmls list "$chm" 2>&1) || { echo "chmls cannot read $chm:"; echo "$listing"; exit 1; }
topics=$(echo "$listing" | awk 'NF >= 4 && $4 ~ /^\// { sub(/^[^\/]*\//, "/"); print }')
failed=0
has() { echo "$topics" | grep -qxF "/$1"; }
# The project's files, then the contents and the index the help window opens.
for file in $(sed -n '/^\[FILES\]/,/^\[/p' "$src/CN_Help.hhp" | grep -v '^\[') "Table of Contents.hhc" "Index.hhk"; do
  has "$file" || { echo "missing from $chm: $file"; failed=1; }
done
# Links of the pages (href) and entries of the contents and the index (Local).
for page in "$src"/*.htm "$src"/*.hhc "$src"/*.hhk; do
  for target in $(grep -o 'href="[^"#]*\|name="Local" value="[^"]*' "$page" | sed 's/.*"//'); do
    has "$target" || { echo "$(basename "$page") links to $target, which is not in the help file"; failed=1; }
  done
done
count=$(echo "$topics" | grep -c '\.htm$')
[ "$failed" = 0 ] && echo "help file: $count pages, the contents and the index; every link leads to a topic"
exit $failed
