# Writes the stills a page holds as <a download="NAME" href="data:image/png;base64,...">
# links into a folder, in page order, and prints their names.
# Usage: python3 page_stills.py DOM.html FOLDER
import base64, html.parser, os, sys

class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.found = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "a" and a.get("download") and a.get("href", "").startswith("data:image/png;base64,"):
            self.found.append((a["download"], a["href"].split(",", 1)[1]))

parser = Links()
parser.feed(open(sys.argv[1], encoding="utf-8").read())
for name, data in parser.found:
    if os.path.basename(name) != name:
        sys.exit("unsafe name " + name)
    with open(os.path.join(sys.argv[2], name), "wb") as f:
        f.write(base64.b64decode(data))
    print(name)
