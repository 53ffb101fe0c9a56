#!/usr/bin/env bash
# Makes the viewer's fixtures beside this script with real tools (Python's
# codecs and zipfile, jlha-utils lha, Info-ZIP zip). The results are committed.
#
# texts/: one Japanese text in every encoding the viewer reads, and two short
# texts that only the choice between Shift-JIS and EUC-JP tells apart.
# Archives: a Shift-JIS text under a Shift-JIS name in an lh7 LZH; an EUC-JP
# text in a ZIP; pages with an image from the archive and references outside
# it (also the only documents of the archive, for the search); files the
# viewer does not show (a Word file, programs, names reaching outside); an
# encrypted entry.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC LC_ALL=C.UTF-8 JAVA_TOOL_OPTIONS=-Dfile.encoding=UTF-8
stamp='2001-02-03 04:05:06'

rm -rf texts ./*.lzh ./*.zip
mkdir -p texts
python3 - <<'PY'
text = ("日本語の説明書です。\n\t第１章　はじめに\n"
        "このソフトウェアは、書庫の中の文書を表示します。\n")
crlf = text.replace("\n", "\r\n")
files = {
    "sjis_crlf.txt": crlf.encode("cp932"),
    "eucjp_lf.txt": text.encode("euc_jp"),
    "iso2022jp_crlf.txt": crlf.encode("iso2022_jp"),
    "utf8_lf.txt": text.encode("utf-8"),
    "utf8_bom_cr.txt": text.replace("\n", "\r").encode("utf-8-sig"),
    "utf16le_bom_crlf.txt": b"\xff\xfe" + crlf.encode("utf-16-le"),
    "utf16be_bom_crlf.txt": b"\xfe\xff" + crlf.encode("utf-16-be"),
    "utf16le_crlf.txt": crlf.encode("utf-16-le"),
    "utf16be_lf.txt": text.encode("utf-16-be"),
    # Valid in both: half-width kana in Shift-JIS, hiragana in EUC-JP.
    "halfwidth_kana_sjis.txt": "ｶﾀｶﾅﾉﾃｷｽﾄ\r\n".encode("cp932"),
    "hiragana_eucjp.txt": "あいうえお、かきくけこ。\n".encode("euc_jp"),
    # One byte that is no Shift-JIS.
    "broken_sjis.txt": "説明".encode("cp932") + b"\x85" + "書".encode("cp932"),
}
for name, data in files.items():
    open("texts/" + name, "wb").write(data)
PY

src=$work/src
mkdir -p "$src/doc" "$src/img"
# A read-me as such archives carry it, in Shift-JIS with CR LF and tabs; long
# enough for lh7 to compress it (lha stores what does not shrink).
python3 - "$src/説明書.TXT" <<'PY'
import sys
text = """━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━
　　ファイル整理ツール　Ver 2.10　説明書
━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━

■ はじめに
　このソフトウェアは、フォルダの中のファイルを種類ごとに整理する
　ツールです。書庫の中の文書もそのまま読むことができます。

■ 動作環境
\tOS\t\tWindows 95 / 98 / NT 4.0
\tメモリ\t\t16MB 以上
\tディスク\t2MB 以上の空き

■ インストール
　1. 書庫を適当なフォルダに展開してください。
　2. SETUP.EXE を実行すると、スタートメニューに登録されます。
　3. アンインストールは「アプリケーションの追加と削除」から行います。

■ 使い方
　整理したいフォルダを指定して［開始］ボタンを押してください。
　ｶﾀｶﾅの半角文字や、全角英数字（ＡＢＣ１２３）も扱えます。

■ 注意事項
　・大切なファイルは、あらかじめバックアップを取ってください。
　・このソフトウェアはフリーソフトです。転載は自由ですが、
　　書庫の内容を変更しないでください。

■ 履歴
\t2.10\t書庫の中の文書の表示に対応
\t2.00\t長いファイル名に対応
\t1.00\t最初の公開

━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━
"""
open(sys.argv[1], "wb").write(text.replace("\n", "\r\n").encode("cp932"))
PY
cp texts/eucjp_lf.txt "$src/README.TXT"
printf 'MZ\x90\x00 a program' >"$src/SETUP.EXE"
python3 - "$src" <<'PY'
import struct, sys, zlib
src = sys.argv[1]
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
# A 120 x 32 banner: red fading to orange, a darker band across.
rows = b"".join(
    b"\x00" + b"".join(bytes((200 if 12 <= y < 20 else 240, 40 + x, 30)) for x in range(120))
    for y in range(32))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 120, 32, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
open(src + "/img/logo.png", "wb").write(png)
page = ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">'
        '<title>説明書</title></head><body><p><img src="img/logo.png" alt="logo"></p>'
        '<h1>ようこそ</h1><p>このページは書庫の中に入っている説明書です。'
        '画像も同じ書庫から読み込まれます。</p>'
        '<h2>目次</h2><ul><li><a href="doc/page2.htm">次のページ</a></li>'
        '<li><a href="http://example.invalid/">外のページ</a> (開きません)</li></ul>'
        '<p>書庫の外を指す画像は読み込みません: <img src="http://example.invalid/remote.png">'
        ' <img src="file:///etc/hostname"> <img src="../../outside.png"></p>'
        '</body></html>')
open(src + "/MANUAL.HTM", "wb").write(page.encode("cp932"))
page2 = ('<html><head><meta charset="utf-8"></head><body><p>二ページ目</p>'
         '<img src="../IMG/LOGO.PNG"></body></html>')
open(src + "/doc/page2.htm", "wb").write(page2.encode("utf-8"))
PY
find "$src" -exec touch -d "$stamp" {} +

(
    cd "$src"
    lha ao7yq "$here/sjis_lh7.lzh" 説明書.TXT SETUP.EXE >/dev/null 2>&1
    zip -qX "$here/eucjp.zip" README.TXT
    zip -qX "$here/html.zip" MANUAL.HTM doc/page2.htm img/logo.png
    zip -qX -P secret "$here/encrypted.zip" README.TXT
)
xxd -p sjis_lh7.lzh | tr -d '\n' | grep -q 90e096be8f91 ||
    { echo "sjis_lh7.lzh: name is not Shift-JIS" >&2; exit 1; }
grep -q -- '-lh7-' sjis_lh7.lzh || { echo "sjis_lh7.lzh: not lh7" >&2; exit 1; }

# Entries the viewer cannot show, and names that point outside any folder they
# would be written to; zipfile stores names as given.
python3 - "$here/binary.zip" <<'PY'
import sys, zipfile
ole = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + bytes(504) + b"Word document"
entries = [
    ("MANUAL.DOC", ole),
    ("../../outside.doc", ole),
    ("/absolute/rooted.doc", ole),
    ("SETUP.EXE", b"MZ\x90\x00" + bytes(60)),
    ("install.sh", b"#!/bin/sh\necho installed\n"),
    ("picture.desktop", b"[Desktop Entry]\nExec=true\n"),
    ("README.TXT", "読んでください\r\n".encode("cp932")),
]
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    for name, data in entries:
        info = zipfile.ZipInfo(name, (2001, 2, 3, 4, 5, 6))
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, data)
PY
