#!/usr/bin/env python3
"""Writes the HTML folder that frames the health report.

    gen_html.py --convert CONVERT --font FONT OUTPUT_DIR

For each status (normal, warning, error):
    OUTPUT_DIR/<status>/index.html    the frame set: "header", "main", "footer"
    OUTPUT_DIR/<status>/header.html   product name, tabs, status
    OUTPUT_DIR/<status>/service.html  the second tab's page
    OUTPUT_DIR/<status>/footer.html   the maker's line at the bottom
from the templates in data/html (UTF-8; @NAME@ fills in), as code page 932
with CR LF line ends. The program writes report.html beside them.

    OUTPUT_DIR/images/<status>_tab01a.gif, _tab01b.gif, _tab02a.gif,
                      _tab02b.gif  the tabs: "a" selected, "b" not
    OUTPUT_DIR/images/icon-tri01.gif  the bullet of the pages' links

The images are drawn by ImageMagick's convert with the given font (IPA
Gothic for the Japanese labels). The output is the same on every run:
the GIFs carry no dates, comments or profiles.
"""
import argparse
import pathlib
import re
import subprocess
import sys

root = pathlib.Path(__file__).resolve().parent.parent
templates = root / "data" / "html"

# COLOUR: the status colour of the report's cells, DARK: a deeper shade for
# edges and the product name; LABEL: the verdict the header shows and
# MESSAGE the line beside it.
STATUSES = {
    "normal": {
        "COLOUR": "#A7D59B",
        "DARK": "#4E8A3E",
        "LABEL": "正常",
        "MESSAGE": "ハードディスクに異常は見つかりませんでした",
    },
    "warning": {
        "COLOUR": "#FFB144",
        "DARK": "#B86E00",
        "LABEL": "注意",
        "MESSAGE": "注意が必要なハードディスクがあります",
    },
    "error": {
        "COLOUR": "#FF8B79",
        "DARK": "#C0392B",
        "LABEL": "危険",
        "MESSAGE": "故障の危険があります。データのバックアップをおすすめします",
    },
}
PAGES = ("index.html", "header.html", "service.html", "footer.html")
TABS = (("tab01", "診断結果"), ("tab02", "サービス"))
TAB_SIZE = (120, 30)
BULLET_COLOUR = "#3A6EA5"


def fill(template: str, values: dict) -> str:
    return re.sub(r"@([A-Z]+)@", lambda m: values[m.group(1)], template)


def write_page(path: pathlib.Path, text: str) -> None:
    path.write_bytes(text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp932"))


def tint(colour: str, share: float) -> str:
    """The colour mixed with white, `share` of it kept."""
    rgb = [int(colour[i:i + 2], 16) for i in (1, 3, 5)]
    return "#%02X%02X%02X" % tuple(round(255 - (255 - c) * share) for c in rgb)


class Drawing:
    def __init__(self, convert: str, font: str):
        self.convert = convert
        self.font = font

    def run(self, args: list, out: pathlib.Path) -> None:
        # No dates or comments in the file, and the smallest palette that
        # holds the picture: the same bytes on every run.
        subprocess.run([self.convert, *args, "-strip", "+set", "date:create",
                        "+set", "date:modify", "+set", "comment",
                        "gif:" + str(out)], check=True)

    def tab(self, out: pathlib.Path, label: str, colour: str, dark: str,
            selected: bool) -> None:
        w, h = TAB_SIZE
        # The tab stands on the header's band in the status colour: the
        # selected one is of the band's colour and runs into it, the other
        # is a pale tint of it with a grey label.
        fill_colour = colour if selected else tint(colour, 0.28)
        edge = dark if selected else tint(colour, 0.7)
        text = "#222222" if selected else "#6B6B6B"
        top = 2 if selected else 5
        self.run([
            "-size", f"{w}x{h}", "xc:#FFFFFF",
            "-fill", fill_colour, "-stroke", edge, "-strokewidth", "1",
            "-draw", f"roundrectangle 0.5,{top + 0.5} {w - 1.5},{h + 10} 7,7",
            "-stroke", "none", "-font", self.font, "-pointsize", "14",
            "-fill", text, "-gravity", "center",
            "-annotate", f"+0+{(top + 1) // 2}", label,
        ] + ([
            # The selected label in bold: a faint stroke of its own colour
            # thickens the only weight the font has.
            "-stroke", text, "-strokewidth", "0.3",
            "-annotate", f"+0+{(top + 1) // 2}", label,
        ] if selected else []) + ["-colors", "64"], out)

    def bullet(self, out: pathlib.Path) -> None:
        # 15 x 12: a right-pointing triangle, the rest transparent.
        self.run([
            "-size", "15x12", "xc:none", "+antialias",
            "-fill", BULLET_COLOUR, "-draw", "polygon 4,1.5 4,9.5 9.5,5.5",
        ], out)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--convert", required=True, help="ImageMagick's convert")
    parser.add_argument("--font", required=True, help="font file of the tab labels")
    parser.add_argument("output", type=pathlib.Path)
    args = parser.parse_args()

    images = args.output / "images"
    images.mkdir(parents=True, exist_ok=True)
    drawing = Drawing(args.convert, args.font)
    sources = {name: (templates / name).read_text(encoding="utf-8") for name in PAGES}

    for status, values in STATUSES.items():
        folder = args.output / status
        folder.mkdir(parents=True, exist_ok=True)
        values = dict(values, STATUS=status)
        for name in PAGES:
            write_page(folder / name, fill(sources[name], values))
        for tab, label in TABS:
            for look, selected in (("a", True), ("b", False)):
                drawing.tab(images / f"{status}_{tab}{look}.gif", label,
                            values["COLOUR"], values["DARK"], selected)
    drawing.bullet(images / "icon-tri01.gif")
    return 0


if __name__ == "__main__":
    sys.exit(main())
