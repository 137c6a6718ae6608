#!/bin/sh
# Cases for the help compiler beyond the real help file:
# - a help file of 600 topics, large enough for many topic blocks and for B+ tree index pages in
#   |CONTEXT, read back by the reader;
# - the pages of a topic with every kind of Windows-1252 character, back in UTF-8 and escaped;
# - sources with mistakes, each of which must be refused with its file, line and reason.
#
#   compiler-cases.sh HLPC HLPREAD WORK_FOLDER
set -u
hlpc=$1 hlpread=$2 work=$3
passed=0 failed=0

result() { # ok|fail, what
    if [ "$1" = ok ]; then
        passed=$((passed + 1)) && echo "ok   - $2"
    else
        failed=$((failed + 1)) && echo "FAIL - $2"
    fi
}

rm -rf "$work"
mkdir -p "$work/many"

# The contents topic lists every topic; each topic links back and to its neighbour.
{
    printf '# Contents\nContext: 1\nContents: Many Topics\n\n'
    i=1
    while [ $i -le 600 ]; do
        printf -- '- [Topic %d](topic_%d)\n' $i $i
        i=$((i + 1))
    done
} >"$work/many/contents.md"
i=1
while [ $i -le 600 ]; do
    next=$((i % 600 + 1))
    printf '# Topic %d\nContext: %d\n\nTopic %d. [Back](contents), on to [topic %d](topic_%d).\n' \
        $i $((1000 + i)) $i $next $next >"$work/many/topic_$i.md"
    i=$((i + 1))
done
if "$hlpc" "$work/many.hlp" "$work/many" && "$hlpread" "$work/many.hlp" --title "Many Topics" \
    --context "1=Contents" --context "1600=Topic 600" >"$work/many.log"; then
    result ok "600 topics compile and read back ($(tail -n 1 "$work/many.log"))"
else
    cat "$work/many.log"
    result fail "600 topics compile and read back"
fi

# Text goes into the help file as Windows-1252 and comes out of it into the pages as UTF-8.
mkdir -p "$work/text"
printf '# Caf\303\251 & <co>\nContents: Text\n\n\342\200\234\342\202\254 5\342\200\224\305\223\303\277\342\200\235 "q" [\303\251](other)\n' \
    >"$work/text/contents.md"
printf '# Other\n\nText.\n' >"$work/text/other.md"
expected=$(printf '<h1>Caf\303\251 &amp; &lt;co&gt;</h1>|<p>\342\200\234\342\202\254 5\342\200\224\305\223\303\277\342\200\235 &quot;q&quot; <a href="other.html">\303\251</a></p>')
if "$hlpc" --html "$work/text-pages" "$work/text" >/dev/null &&
    [ "$(grep -e '^<h1>' -e '^<p>' "$work/text-pages/index.html" | tr '\n' '|' | sed 's/|$//')" = "$expected" ]; then
    result ok "pages: Windows-1252 text back in UTF-8, escaped"
else
    result fail "pages: Windows-1252 text back in UTF-8, escaped; got: $(cat "$work/text-pages/index.html")"
fi

# case NAME EXPECTED_MESSAGE: compiles the folder $work/NAME, which must fail with that message.
case_fails() {
    if "$hlpc" "$work/$1.hlp" "$work/$1" 2>"$work/$1.err"; then
        result fail "$1: refused"
    elif grep -qF "$2" "$work/$1.err"; then
        result ok "$1: refused with \"$2\""
    else
        result fail "$1: refused with \"$2\", got: $(cat "$work/$1.err")"
    fi
    [ ! -e "$work/$1.hlp" ] || result fail "$1: no output file is left behind"
}

source_set() { # NAME: a folder with a valid contents topic linking to "other"
    mkdir -p "$work/$1"
    printf '# Contents\nContext: 1\nContents: Cases\n\nSee [the other topic](other).\n' \
        >"$work/$1/contents.md"
}

source_set unknown_link
printf '# Other\n\nGo to [nowhere](missing).\n' >"$work/unknown_link/other.md"
case_fails unknown_link 'other.md:3: link to unknown topic id "missing"'

source_set unreachable
printf '# Other\n\nText.\n' >"$work/unreachable/other.md"
printf '# Lonely\n\nNo link leads here.\n' >"$work/unreachable/lonely.md"
case_fails unreachable 'not reachable from the contents topic by links:'

source_set same_number
printf '# Other\nContext: 1\n\nText.\n' >"$work/same_number/other.md"
case_fails same_number 'context number 1 is used by'

source_set no_title
printf 'Other\n\nText.\n' >"$work/no_title/other.md"
case_fails no_title 'other.md:1: the first line is "# " and the topic'

source_set open_bold
printf '# Other\n\nSome **bold text.\n' >"$work/open_bold/other.md"
case_fails open_bold 'other.md:3: ** is not closed'

source_set bad_header
printf '# Other\nKeywords: x\n\nText.\n' >"$work/bad_header/other.md"
case_fails bad_header 'other.md:2: unknown header line "Keywords"'

source_set bad_id
printf '# Other\n\nText.\n' >"$work/bad_id/other.md"
printf '# Dash\n\nText.\n' >"$work/bad_id/with-dash.md"
case_fails bad_id 'with-dash.md:1: a topic file name may only have'

source_set bad_character
printf '# Other\n\nA snowman \342\230\203.\n' >"$work/bad_character/other.md"
case_fails bad_character 'other.md:3: character U+2603 has no place in Windows-1252'

mkdir -p "$work/no_contents"
printf '# Other\n\nText.\n' >"$work/no_contents/other.md"
case_fails no_contents 'no topic has a "Contents:" line'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
