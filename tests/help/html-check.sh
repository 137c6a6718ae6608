#!/bin/sh
# Checks the help's HTML pages against their sources: each topic's page, named as the program looks
# for it (the contents topic index.html, a topic with a context number NUMBER.html), with its title;
# UTF-8 declared; every link and picture leading to a file of the folder; no page without a topic.
#
#   html-check.sh PAGES_FOLDER SOURCES_FOLDER [NUMBER=TITLE]...
set -u
pages=$1 sources=$2
shift 2
failed=0
fail() {
    echo "FAIL - $*"
    failed=1
}

topics=0
for source in "$sources"/*.md; do
    case $source in */README.md) continue ;; esac
    topics=$((topics + 1))
    title=$(sed -n '1s/^# //p' "$source")
    context=$(sed -n '2,3s/^Context: *//p' "$source")
    page=${context:+$context.html}
    grep -q '^Contents: ' "$source" && page=index.html
    page=${page:-$(basename "$source" .md).html}
    if [ ! -f "$pages/$page" ]; then
        fail "$source: no page $page"
    elif ! grep -qF "<h1>$title</h1>" "$pages/$page" || ! grep -qF "<title>$title - " "$pages/$page"; then
        fail "$page: not titled \"$title\""
    fi
done
count=$(find "$pages" -maxdepth 1 -name '*.html' | wc -l)
[ "$count" -eq "$topics" ] || fail "$count pages for $topics topics"

for page in "$pages"/*.html; do
    grep -q '<meta charset="utf-8">' "$page" || fail "$page: no UTF-8 declared"
    for target in $(grep -o '\(href\|src\)="[^"]*"' "$page" | sed 's/^[a-z]*="\(.*\)"$/\1/'); do
        [ -f "$pages/$target" ] || fail "$page: $target leads nowhere"
    done
done

for expected in "$@"; do
    number=${expected%%=*} title=${expected#*=}
    grep -qF "<h1>$title</h1>" "$pages/$number.html" 2>/dev/null || fail "$number.html does not show \"$title\""
done

[ $failed -eq 0 ] && echo "ok   - $topics topics, each on its page, every link and picture found"
exit $failed
