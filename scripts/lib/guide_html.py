#!/usr/bin/env python3
"""Makes the user guide one page that opens by double-click: the Markdown
source as HTML, every picture it names put inside the page as a data URI,
the version (and, when given, the product code) under the title.
Usage: guide_html.py GUIDE.md PICTURES_DIR VERSION OUT.html [PRODUCT_CODE]"""
import base64
import html
import pathlib
import re
import sys

import markdown
from markdown.extensions.toc import TocExtension, slugify_unicode

source, pictures, version, out, *product_code = sys.argv[1:]
text = pathlib.Path(source).read_text(encoding='utf-8')
body = markdown.markdown(text, output_format='html',
                         extensions=['tables', 'fenced_code', TocExtension(slugify=slugify_unicode, toc_depth='2-3')])


def embed(match):
    # A picture that is missing fails the build rather than ship a broken page.
    data = (pathlib.Path(pictures) / match.group(2)).read_bytes()
    return f'{match.group(1)}data:image/png;base64,{base64.b64encode(data).decode()}"'


body = re.sub(r'(<img [^>]*src=")([^":/]+\.png)"', embed, body)
title = re.search(r'<h1[^>]*>(.*?)</h1>', body).group(1)
under_title = f'版本 {html.escape(version)}'
if product_code:
    under_title += f'，产品代码 <code>{html.escape(product_code[0])}</code>'
body = body.replace('</h1>', f'</h1>\n<p class="version">{under_title}</p>', 1)

page = f'''<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{re.sub(r"<[^>]+>", "", title)}</title>
<style>
body {{ font-family: "Microsoft YaHei", "微软雅黑", "SimSun", "WenQuanYi Zen Hei", sans-serif;
       font-size: 16px; line-height: 1.7; color: #222; max-width: 860px; margin: 0 auto; padding: 24px; }}
h1 {{ color: #7a0000; border-bottom: 3px solid #7a0000; padding-bottom: 6px; margin-bottom: 0; }}
h2 {{ color: #7a0000; border-bottom: 1px solid #ddd; margin-top: 2em; }}
h3 {{ margin-top: 1.5em; }}
.version {{ color: #666; margin-top: 4px; }}
code {{ font-family: "SimSun", "Consolas", "WenQuanYi Zen Hei Mono", monospace; background: #f4f0f0;
        padding: 1px 4px; border-radius: 3px; }}
pre {{ background: #f4f0f0; padding: 10px 14px; border-left: 4px solid #7a0000;
       white-space: pre-wrap; overflow-wrap: anywhere; }}
pre code {{ background: none; padding: 0; }}
table {{ border-collapse: collapse; margin: 1em 0; width: 100%; }}
th, td {{ border: 1px solid #ccc; padding: 6px 10px; vertical-align: top; text-align: left; }}
th {{ background: #f4e8e8; }}
td:first-child {{ min-width: 11em; }}
img {{ max-width: 100%; border: 1px solid #999; }}
.toc {{ background: #faf6f6; border: 1px solid #e4d8d8; padding: 8px 20px; }}
.toc ul {{ margin: 0.2em 0; }}
</style>
</head>
<body>
{body}
</body>
</html>
'''
pathlib.Path(out).write_text(page, encoding='utf-8')
