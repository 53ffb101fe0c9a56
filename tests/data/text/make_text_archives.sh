#!/usr/bin/env bash
# Makes the archives the text search is tested on, with real tools (jlha-utils
# lha, zip, gcab): one document in each encoding, each saying the planted words
# on known lines, in each container; a ZIP behind a stub; an encrypted
# document; a bomb. Committed, so the tests do not depend on tool versions.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC LC_ALL=C.UTF-8 JAVA_TOOL_OPTIONS=-Dfile.encoding=UTF-8
stamp='2001-02-03 04:05:06'

# The words are on line 3 (MERVOKWORD, upper case) and line 5 (設定ファイル,
# at column 4); a Shift-JIS 表 (95 5C) and 能 (94 5C) come before them.
text='表示と能力について
このファイルは試験用です。
See MERVOKWORD here.
〜 波ダッシュ 〜
第一の設定ファイルを開く。
終わり'
src=$work/src
mkdir -p "$src"
printf '%s\n' "$text" >"$src/u8.txt"
printf '%s\n' "$text" | sed 's/$/\r/' | iconv -f UTF-8 -t CP932 >"$src/sjis.txt"
printf '%s\n' "$text" | iconv -f UTF-8 -t EUC-JP >"$src/euc.doc"
{ printf '\xff\xfe'; printf '%s\n' "$text" | iconv -f UTF-8 -t UTF-16LE; } >"$src/u16le.txt"
{ printf '\xfe\xff'; printf '%s\n' "$text" | iconv -f UTF-8 -t UTF-16BE; } >"$src/u16be.htm"
printf '%s\n' "$text" | iconv -f UTF-8 -t ISO-2022-JP >"$src/jis.txt"
# Not a document, though it says the words.
cp "$src/u8.txt" "$src/data.bin"
find "$src" -exec touch -d "$stamp" {} +
docs=(u8.txt sjis.txt euc.doc u16le.txt u16be.htm jis.txt data.bin)

rm -f ./*.zip ./*.lzh ./*.cab ./*.exe
(
    cd "$src"
    zip -qX "$here/mixed.zip" "${docs[@]}"
    lha aq "$here/mixed.lzh" "${docs[@]}" >/dev/null 2>&1
    gcab -cz "$here/mixed.cab" "${docs[@]}"
    # Traditional encryption: the document is counted, never read.
    zip -qX -P secret "$here/encrypted.zip" u8.txt
    # 8 MiB of lines, then the word at the end of a 100 KiB line, in a
    # 10 KiB archive.
    python3 -c "print('filler line of the bomb\n' * 350000 + '-' * 102400 + 'MERVOKWORD')" >bomb.txt
    zip -qX "$here/bomb.zip" bomb.txt
)
cat "$here/../archives/stub/stub_8k.exe" mixed.zip >mixed_sfx.exe
zip -qA mixed_sfx.exe
