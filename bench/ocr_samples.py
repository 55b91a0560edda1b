#!/usr/bin/python3
"""Text recognition on real screenshots of Chinese user interfaces.

Renders GTK menus and a dialog, xterm with a CJK font and pages in headless
Chromium, all with text of 12-16 pixels and known exact text, then reads each
image with every given Korvel build and with plain `tesseract -l chi_sim+eng`
and prints the character accuracy per image and overall.

Needs an X session (GTK and xterm run in it), e.g.
  KORVEL_BUILD=build scripts/xsession --no-tray -- \
    bench/ocr_samples.py --out /tmp/samples build/src/app/korvel [OLD/korvel ...]
--long also renders a 1160 x 14657 page and times its recognition with one
and with two cores (and checks that both read the same text).

Accuracy is 1 - (edit distance / reference length) on the text with all
white space removed and NFKC folding on both sides (full-width brackets and
"…" count as their ASCII forms); "in order" compares the whole text as read,
top to bottom, "any order" each reference line with its best matching stretch
of the reading (columns read apart are not counted as errors there).
"""

import argparse
import html
import os
import random
import threading
import shutil
import subprocess
import sys
import tempfile
import time
import unicodedata

# --- Sample content -------------------------------------------------------

FILE_MENU = [
    ("新建(_N)", "<Control>n", True), ("打开(_O)…", "<Control>o", True),
    ("保存(_S)", "<Control>s", True), ("另存为(_A)…", "<Shift><Control>s", True), None,
    ("打印预览(_V)", None, False), ("打印(_P)…", "<Control>p", True), None,
    ("属性(_R)", "<Alt>Return", True), ("关闭(_C)", "<Control>w", True),
    ("退出(_Q)", "<Control>q", True),
]
EDIT_MENU = [
    ("撤销(_U)", "<Control>z", True), ("重做(_R)", "<Shift><Control>z", True), None,
    ("剪切(_T)", "<Control>x", True), ("复制(_C)", "<Control>c", True),
    ("粘贴(_P)", "<Control>v", True), ("删除(_D)", "Delete", False), None,
    ("全选(_A)", "<Control>a", True), ("查找(_F)…", "<Control>f", True),
    ("替换(_H)…", "<Control>h", True), None, ("首选项(_E)", None, True),
]
ACCEL_TEXT = {"<Control>": "Ctrl+", "<Shift>": "Shift+", "<Alt>": "Alt+"}

TERMINAL = """$ ls -l 文档
总用量 16
-rw-r--r-- 1 wang wang 2048 3月 12 09:41 会议纪要.txt
-rw-r--r-- 1 wang wang 5120 3月 14 18:02 项目计划书.md
drwxr-xr-x 2 wang wang 4096 3月 15 11:27 图片
$ git status
位于分支 main
您的分支与上游分支 'origin/main' 一致。
尚未暂存以备提交的变更：
  修改：     src/主程序.cpp
  修改：     文档/使用说明.md
$ make
正在编译 src/主程序.cpp ...
编译完成，共 3 个警告，0 个错误。
$ ping -c 1 localhost
64 字节，来自 localhost (127.0.0.1): icmp_seq=1 ttl=64 时间=0.041 毫秒"""

# Colour (ANSI escapes) as ls --color and compilers print it: blue
# directories, green programs, red errors, all on black.
COLOUR_TERMINAL = [
    ("\033[01;32mwang@主机\033[00m:\033[01;34m~/项目\033[00m$ ls", "wang@主机:~/项目$ ls"),
    ("\033[01;34m构建\033[00m  \033[01;34m文档\033[00m  \033[01;32m运行.sh\033[00m  说明.txt  "
     "\033[01;34m测试数据\033[00m", "构建 文档 运行.sh 说明.txt 测试数据"),
    ("\033[01;32mwang@主机\033[00m:\033[01;34m~/项目\033[00m$ gcc 主程序.c -o 运行",
     "wang@主机:~/项目$ gcc 主程序.c -o 运行"),
    ("主程序.c: 在函数‘main’中:", "主程序.c: 在函数‘main’中:"),
    ("主程序.c:12:5: \033[01;31m错误：\033[00m未声明的标识符‘计数’",
     "主程序.c:12:5: 错误：未声明的标识符‘计数’"),
    ("   12 |     计数 = 0;", "12 | 计数 = 0;"),
    ("主程序.c:20:9: \033[01;35m警告：\033[00m未使用的变量‘结果’ [-Wunused-variable]",
     "主程序.c:20:9: 警告：未使用的变量‘结果’ [-Wunused-variable]"),
    ("\033[01;32mwang@主机\033[00m:\033[01;34m~/项目\033[00m$ df -h /",
     "wang@主机:~/项目$ df -h /"),
    ("文件系统        大小  已用  可用 已用% 挂载点", "文件系统 大小 已用 可用 已用% 挂载点"),
    ("/dev/sda2       234G   87G  136G   39% /", "/dev/sda2 234G 87G 136G 39% /"),
]

SIDEBAR_PAGE = """<!doctype html><html lang="zh-CN"><meta charset="utf-8"><style>
body { margin: 0; font-family: sans-serif; display: flex; height: 640px; }
nav { width: 200px; background: #2b2f36; color: #c9d1d9; font-size: 13px; padding-top: 12px; }
nav div { line-height: 36px; padding-left: 20px; white-space: nowrap; }
nav .on { background: #1f6feb; color: #fff; }
main { flex: 1; padding: 24px 32px; color: #24292f; font-size: 13px; }
main div { white-space: nowrap; line-height: 28px; }
h2 { font-size: 16px; margin: 0 0 12px; }
input { font: inherit; width: 260px; padding: 4px 8px; border: 1px solid #d0d7de; }
.help { color: #8c959f; font-size: 12px; }
button { font: inherit; font-size: 14px; padding: 6px 16px; margin: 14px 10px 0 0; border-radius: 4px;
         border: 1px solid #d0d7de; background: #f6f8fa; }
button.primary { background: #2da44e; color: #fff; border-color: #2da44e; }
button:disabled { color: #a0a7af; }
</style><body><nav><div>常规设置</div><div class="on">截图与快捷键</div><div>文字识别</div>
<div>历史记录</div><div>关于本软件</div></nav><main><h2>截图与快捷键</h2>
<div>截图快捷键：<input value="Ctrl+1"></div>
<div>保存位置：<input placeholder="请选择文件夹"></div>
<div class="help">留空时保存到“图片”文件夹，文件名包含日期和时间。</div>
<div>图片格式：PNG（无损）</div>
<div class="help">修改快捷键后需要重新启动程序才能生效。</div>
<div><button class="primary">保存更改</button><button>恢复默认</button><button disabled>应用</button></div>
</main></body></html>"""
SIDEBAR_REFERENCE = ["常规设置", "截图与快捷键", "文字识别", "历史记录", "关于本软件", "截图与快捷键",
                     "截图快捷键： Ctrl+1", "保存位置： 请选择文件夹",
                     "留空时保存到“图片”文件夹，文件名包含日期和时间。", "图片格式：PNG（无损）",
                     "修改快捷键后需要重新启动程序才能生效。", "保存更改 恢复默认 应用"]

WEB_ROWS = [
    # (class, text); one line each, never wrapped.
    ("nav", "星云文档　首页　产品　下载　社区　登录"),
    ("h", "快速入门指南"),
    ("meta", "最后更新：2024年3月18日 · 阅读时间约 6 分钟"),
    ("p16", "本指南介绍如何在五分钟内完成安装，并截取第一张屏幕截图。"),
    ("p14", "安装完成后，程序会在系统托盘中显示一个图标，点击它即可开始截图。"),
    ("p14", "如果快捷键与其他软件冲突，可以在偏好设置中重新指定。"),
    ("p13", "截图时按住空格键可以移动选区，按 Esc 键取消，按回车键复制到剪贴板。"),
    ("p13", "长截图会自动拼接滚动的内容，剩下的部分将在停止后一并保存。"),
    ("p12", "提示：识别文字功能完全在本机运行，图片不会上传到任何服务器。"),
    ("p12", "剩下的步骤请参阅第 3 章“高级设置”与第 5 章“常见问题”。"),
    ("th", "功能　快捷键　说明"),
    ("td", "区域截图　Ctrl+1　拖动选择任意矩形区域"),
    ("td", "钉在屏幕　Ctrl+P　将截图固定在所有窗口之上"),
    ("td", "识别文字　Shift+C　提取图片中的中英文文字"),
    ("btn", "立即下载　查看文档"),
    ("foot", "© 2024 星云软件 保留所有权利 · 隐私政策 · 联系我们"),
]

WEB_STYLE = """
html { background: %(bg)s; }
body { margin: 0; font-family: sans-serif; color: %(fg)s; background: %(bg)s; }
div { white-space: nowrap; padding: 0 32px; }
.nav { background: %(navbg)s; color: %(navfg)s; font-size: 14px; line-height: 44px; }
.h { font-size: 16px; font-weight: bold; line-height: 40px; margin-top: 12px; }
.meta { font-size: 12px; color: %(grey)s; line-height: 22px; }
.p16 { font-size: 16px; line-height: 30px; }
.p14 { font-size: 14px; line-height: 26px; }
.p13 { font-size: 13px; line-height: 24px; }
.p12 { font-size: 12px; line-height: 22px; color: %(grey)s; }
.th, .td { font-size: 13px; line-height: 30px; margin: 0 32px; padding: 0 12px;
           border-bottom: 1px solid %(rule)s; }
.th { background: %(thbg)s; font-weight: bold; margin-top: 14px; }
.btn { margin: 18px 32px; padding: 0; }
.btn span { display: inline-block; font-size: 14px; line-height: 34px; padding: 0 18px;
            border-radius: 4px; margin-right: 12px; }
.btn span:first-child { background: #2563eb; color: #fff; }
.btn span:last-child { border: 1px solid %(rule)s; }
.foot { font-size: 12px; color: %(grey)s; background: %(footbg)s; line-height: 40px; }
"""
LIGHT = dict(bg="#ffffff", fg="#1f2328", grey="#8a8f98", navbg="#1f2937", navfg="#f3f4f6",
             rule="#d0d7de", thbg="#f3f4f6", footbg="#f6f8fa")
DARK = dict(bg="#1e1f22", fg="#d4d6da", grey="#8b9099", navbg="#e5e7eb", navfg="#111827",
            rule="#3b3f45", thbg="#2b2d31", footbg="#2b2d31")


def web_page(palette):
    rows = []
    for cls, text in WEB_ROWS:
        if cls == "btn":
            inner = "".join("<span>%s</span>" % html.escape(t) for t in text.split("　"))
        else:
            inner = html.escape(text)
        rows.append('<div class="%s">%s</div>' % (cls, inner))
    return ('<!doctype html><html lang="zh-CN"><meta charset="utf-8"><style>%s</style>'
            "<body>%s</body></html>" % (WEB_STYLE % palette, "\n".join(rows)))


PHRASES = [
    "在开始之前，请确认已经安装了最新版本的软件", "这一步通常只需要几秒钟", "系统会自动检测屏幕的数量和分辨率",
    "截取的图片可以直接粘贴到聊天窗口或文档中", "所有设置都会保存在本地", "如果网络连接不稳定，更新检查会在稍后重试",
    "选区的边框可以用鼠标拖动调整", "按住 Shift 键拖动时保持宽高比例", "历史记录默认关闭，可以在偏好设置中开启",
    "马赛克和模糊工具用于隐藏敏感信息", "数字标记会按顺序自动编号", "长截图支持向上、向下和横向滚动",
    "识别结果可以在窗口中编辑后再复制", "版本 2.4.1 修复了多显示器下的坐标问题", "共处理 1,024 张图片，耗时 37 秒",
]


def long_page(height):
    """A long article that ends just above `height` pixels, and its lines."""
    rnd = random.Random(24)
    rows = {"h": 52, "p16": 30, "p14": 26, "p13": 24}
    body, lines = [], []
    used, n = 0, 0
    while True:
        n += 1
        title = "第 %d 节　使用技巧与常见问题" % n
        block = [("h", title)]
        for _ in range(rnd.randint(8, 14)):
            block.append((rnd.choice(["p16", "p14", "p14", "p13"]),
                          "，".join(rnd.sample(PHRASES, 2)) + "。"))
        size = sum(rows[cls] for cls, _ in block)
        if used + size > height - 40:
            break
        used += size
        body += ['<div class="%s">%s</div>' % (cls, html.escape(text)) for cls, text in block]
        lines += [text.replace("　", " ") for _, text in block]
    return ('<!doctype html><html lang="zh-CN"><meta charset="utf-8"><style>%s</style>'
            "<body>%s</body></html>" % (WEB_STYLE % LIGHT, "\n".join(body)), lines)


# --- Rendering ------------------------------------------------------------

def gtk_render(kind, out):
    """Runs in a child process: shows a GTK window, grabs it and exits."""
    import gi
    gi.require_version("Gtk", "3.0")
    gi.require_version("Gdk", "3.0")
    from gi.repository import Gdk, GLib, Gtk

    settings = Gtk.Settings.get_default()
    settings.props.gtk_font_name = "Sans 9" if kind == "menu-dark" else "Sans 10"
    settings.props.gtk_application_prefer_dark_theme = kind == "menu-dark"

    def grab(window):
        x, y = window.get_origin()[1:]
        pixbuf = Gdk.pixbuf_get_from_window(Gdk.get_default_root_window(), x, y,
                                            window.get_width(), window.get_height())
        pixbuf.savev(out, "png", [], [])
        Gtk.main_quit()
        return False

    if kind == "message":
        dialog = Gtk.MessageDialog(message_type=Gtk.MessageType.WARNING, text=MESSAGE[0],
                                   secondary_text=MESSAGE[1])
        for i, label in enumerate(MESSAGE[2:]):
            dialog.add_button(label, i)
        dialog.set_default_response(2)
        dialog.show_all()
        GLib.timeout_add(1200, lambda: grab(dialog.get_window()))
        Gtk.main()
        return
    win = Gtk.Window(title="ocr-sample")
    if kind.startswith("menu"):
        entries = FILE_MENU if kind == "menu" else EDIT_MENU
        highlighted = "保存(_S)" if kind == "menu" else "复制(_C)"
        box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
        win.add(box)
        bar = Gtk.MenuBar()
        box.pack_start(bar, False, False, 0)
        accel = Gtk.AccelGroup()
        win.add_accel_group(accel)
        top = Gtk.MenuItem.new_with_mnemonic("文件(_F)")
        bar.append(top)
        menu = Gtk.Menu()
        menu.set_accel_group(accel)
        top.set_submenu(menu)
        items = {}
        for entry in entries:
            if entry is None:
                menu.append(Gtk.SeparatorMenuItem())
                continue
            label, key, sensitive = entry
            item = Gtk.MenuItem.new_with_mnemonic(label)
            if key:
                code, mods = Gtk.accelerator_parse(key)
                item.add_accelerator("activate", accel, code, mods, Gtk.AccelFlags.VISIBLE)
            item.set_sensitive(sensitive)
            menu.append(item)
            items[label] = item
        win.set_default_size(300, 200)
        win.show_all()

        def open_menu():
            bar.select_item(top)
            GLib.timeout_add(500, lambda: menu.select_item(items[highlighted]) or False)
            GLib.timeout_add(1200, lambda: grab(menu.get_toplevel().get_window()))
            return False
        GLib.timeout_add(700, open_menu)
    else:
        grid = Gtk.Grid(column_spacing=12, row_spacing=10, margin=18)
        win.add(grid)
        title = Gtk.Label(xalign=0)
        title.set_markup("<b>打印设置</b>")
        grid.attach(title, 0, 0, 2, 1)
        printer = Gtk.ComboBoxText()
        printer.append_text("办公室激光打印机")
        printer.set_active(0)
        copies = Gtk.SpinButton.new_with_range(1, 99, 1)
        copies.set_value(2)
        ranges = Gtk.Box(spacing=12)
        first = None
        for text in ["全部页面", "当前页面", "自定义范围"]:
            radio = Gtk.RadioButton.new_with_label_from_widget(first, text)
            first = first or radio
            ranges.pack_start(radio, False, False, 0)
        pages = Gtk.Entry(text="1-5, 8, 11-13")
        options = Gtk.Box(spacing=12)
        for text, on in [("双面打印", True), ("逐份打印", False)]:
            check = Gtk.CheckButton(label=text)
            check.set_active(on)
            options.pack_start(check, False, False, 0)
        paper = Gtk.ComboBoxText()
        paper.append_text("A4 (210 × 297 毫米)")
        paper.set_active(0)
        rows = [("打印机：", printer), ("份数：", copies), ("页面范围：", ranges),
                ("页码：", pages), ("选项：", options), ("纸张大小：", paper)]
        for i, (text, widget) in enumerate(rows, start=1):
            grid.attach(Gtk.Label(label=text, xalign=1), 0, i, 1, 1)
            grid.attach(widget, 1, i, 1, 1)
        note = Gtk.Label(label="打印前请确认纸张已放入纸盒。", xalign=0)
        note.get_style_context().add_class("dim-label")
        grid.attach(note, 0, 7, 2, 1)
        buttons = Gtk.Box(spacing=8, halign=Gtk.Align.END)
        for text in ["取消", "预览", "打印"]:
            button = Gtk.Button(label=text)
            if text == "打印":
                button.get_style_context().add_class("suggested-action")
            buttons.pack_start(button, False, False, 0)
        grid.attach(buttons, 0, 8, 2, 1)
        win.show_all()
        GLib.timeout_add(1200, lambda: grab(win.get_window()))
    Gtk.main()


MESSAGE = ["是否在关闭前保存对文档“未命名 1”的更改？", "如果不保存，过去 5 分钟内的更改将永久丢失。",
           "不保存(_W)", "取消(_C)", "保存(_S)"]


def menu_reference(entries):
    lines = []
    for entry in entries:
        if entry is None:
            continue
        label, key, _ = entry
        label = label.replace("_", "")
        if key:
            for mod, text in ACCEL_TEXT.items():
                key = key.replace(mod, text)
            key = key[:-1] + key[-1].upper() if len(key.split("+")[-1]) == 1 else key
            label += " " + key
        lines.append(label)
    return lines


def dialog_reference():
    return ["打印设置", "打印机： 办公室激光打印机", "份数： 2", "页面范围： 全部页面 当前页面 自定义范围",
            "页码： 1-5, 8, 11-13", "选项： 双面打印 逐份打印", "纸张大小： A4 (210 × 297 毫米)",
            "打印前请确认纸张已放入纸盒。", "取消 预览 打印"]


def grab_window_by_name(name, out):
    code = ("import gi,sys\n"
            "gi.require_version('Gdk','3.0'); gi.require_version('GdkX11','3.0')\n"
            "from gi.repository import Gdk, GdkX11\n"
            "w=GdkX11.X11Window.foreign_new_for_display(Gdk.Display.get_default(),"
            "int(sys.argv[2]))\n"
            "x,y=w.get_origin()[1:]\n"
            "Gdk.pixbuf_get_from_window(Gdk.get_default_root_window(),x,y,w.get_width(),"
            "w.get_height()).savev(sys.argv[1],'png',[],[])\n")
    wid = subprocess.check_output(["xdotool", "search", "--sync", "--name", name],
                                  text=True).split()[0]
    subprocess.check_call([sys.executable, "-c", code, out, wid])


def render_terminal(out, points, work, text=TERMINAL):
    text_file = os.path.join(work, "terminal.txt")
    with open(text_file, "w", encoding="utf-8") as f:
        f.write(text + "\n")
    title = "ocr-terminal-%d" % points
    term = subprocess.Popen(
        ["xterm", "-T", title, "-geometry", "76x19+0+0", "-bg", "black", "-fg", "#d0d0d0",
         "-fa", "DejaVu Sans Mono", "-fd", "Noto Sans Mono CJK SC", "-fs", str(points),
         "-e", "sh", "-c", "cat %s; sleep 60" % text_file])
    try:
        time.sleep(2.5)
        grab_window_by_name(title, out)
    finally:
        term.terminate()
        term.wait()


def chromium(url, out, width, height, work):
    profile = tempfile.mkdtemp(dir=work)
    subprocess.run(
        ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
         "--no-first-run", "--disable-background-networking", "--disable-component-update",
         "--disable-sync", "--hide-scrollbars", "--force-device-scale-factor=1",
         "--user-data-dir=" + profile, "--window-size=%d,%d" % (width, height),
         "--screenshot=" + out, url],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.rmtree(profile, ignore_errors=True)


def render_html(out, text, width, height, work):
    page = os.path.join(work, os.path.basename(out) + ".html")
    with open(page, "w", encoding="utf-8") as f:
        f.write(text)
    chromium("file://" + page, out, width, height, work)


def render_web(out, palette, work):
    render_html(out, web_page(palette), 1160, 700, work)


def web_reference():
    return [text.replace("　", " ") for _, text in WEB_ROWS]


# --- Measuring ------------------------------------------------------------

def fold(text):
    text = unicodedata.normalize("NFKC", text)
    return "".join(c for c in text if not c.isspace())


def distance(a, b):
    previous = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        current = [i]
        for j, cb in enumerate(b, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1,
                               previous[j - 1] + (ca != cb)))
        previous = current
    return previous[-1]


def banded_distance(a, b, band=400):
    """Edit distance of two long, mostly aligned texts, within `band` of the diagonal."""
    big = len(a) + len(b)
    previous = {j: j for j in range(min(len(b), band) + 1)}
    for i in range(1, len(a) + 1):
        centre = i * len(b) // max(1, len(a))
        current = {}
        for j in range(max(0, centre - band), min(len(b), centre + band) + 1):
            if j == 0:
                current[j] = i
                continue
            current[j] = min(previous.get(j, big) + 1, current.get(j - 1, big) + 1,
                             previous.get(j - 1, big) + (a[i - 1] != b[j - 1]))
        previous = current
    return previous.get(len(b), big)


def substring_distance(needle, hay):
    previous = [0] * (len(hay) + 1)
    for i, cn in enumerate(needle, 1):
        current = [i]
        for j, ch in enumerate(hay, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1,
                               previous[j - 1] + (cn != ch)))
        previous = current
    return min(previous)


def spaced(text):
    lines = (" ".join(unicodedata.normalize("NFKC", line).split()) for line in text.splitlines())
    return "\n".join(line for line in lines if line)


def accuracy(reference_lines, text):
    """(in order, any order, as laid out, reference length)."""
    reference = fold("".join(reference_lines))
    read = fold(text)
    in_order = 1 - min(len(reference), distance(reference, read)) / len(reference)
    errors = sum(min(len(fold(line)), substring_distance(fold(line), read))
                 for line in reference_lines)
    laid_out = spaced("\n".join(reference_lines))
    exact = 1 - min(len(laid_out), distance(laid_out, spaced(text))) / len(laid_out)
    return in_order, 1 - errors / len(reference), exact, len(reference)


def read_korvel(binary, image, env=None):
    start = time.monotonic()
    result = subprocess.run([binary, "--recognize", image], capture_output=True, text=True,
                            env=env)
    return result.stdout.rstrip("\n"), time.monotonic() - start


def read_tesseract(image):
    start = time.monotonic()
    result = subprocess.run(["tesseract", image, "-", "-l", "chi_sim+eng"],
                            capture_output=True, text=True)
    return result.stdout.rstrip("\n"), time.monotonic() - start


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--gtk":
        gtk_render(sys.argv[2], sys.argv[3])
        return 0
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("korvel", nargs="+", help="korvel binaries to compare, newest first")
    parser.add_argument("--out", required=True, help="folder for the images and readings")
    parser.add_argument("--long", action="store_true", help="also time a 1160 x 14657 page")
    parser.add_argument("--long-cores", default="1,2",
                        help="core counts to time the long page with (1, 2 or both)")
    parser.add_argument("--only", help="comma-separated sample names")
    parser.add_argument("--reuse", action="store_true",
                        help="read the images already in --out instead of rendering them")
    parser.add_argument("--no-tesseract", action="store_true", help="leave plain tesseract out")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    work = tempfile.mkdtemp()
    try:
        samples = {
            "gtk-menu": (lambda o: subprocess.check_call(
                [sys.executable, __file__, "--gtk", "menu", o]), menu_reference(FILE_MENU)),
            "gtk-menu-dark": (lambda o: subprocess.check_call(
                [sys.executable, __file__, "--gtk", "menu-dark", o]), menu_reference(EDIT_MENU)),
            "gtk-dialog": (lambda o: subprocess.check_call(
                [sys.executable, __file__, "--gtk", "dialog", o]), dialog_reference()),
            "xterm-12px": (lambda o: render_terminal(o, 9, work), TERMINAL.splitlines()),
            "xterm-16px": (lambda o: render_terminal(o, 12, work), TERMINAL.splitlines()),
            "web-light": (lambda o: render_web(o, LIGHT, work), web_reference()),
            "web-dark": (lambda o: render_web(o, DARK, work), web_reference()),
            "gtk-message": (lambda o: subprocess.check_call(
                [sys.executable, __file__, "--gtk", "message", o]),
                MESSAGE[:2] + [" ".join(m.replace("_", "") for m in MESSAGE[2:])]),
            "xterm-colour": (lambda o: render_terminal(
                o, 10, work, "\n".join(raw for raw, _ in COLOUR_TERMINAL)),
                [plain for _, plain in COLOUR_TERMINAL]),
            "web-sidebar": (lambda o: render_html(o, SIDEBAR_PAGE, 960, 640, work),
                            SIDEBAR_REFERENCE),
        }
        if args.only:
            samples = {k: v for k, v in samples.items() if k in args.only.split(",")}
        readers = [("korvel %d" % i if len(args.korvel) > 1 else "korvel",
                    lambda image, b=b: read_korvel(b, image)) for i, b in enumerate(args.korvel)]
        if not args.no_tesseract:
            readers.append(("tesseract", read_tesseract))
        totals = {name: [0.0, 0.0, 0.0, 0.0] for name, _ in readers}
        total_length = 0
        print("%-14s %5s  " % ("sample", "chars") +
              "  ".join("%-24s" % name for name, _ in readers))
        for name, (render, reference) in samples.items():
            image = os.path.join(args.out, name + ".png")
            if not (args.reuse and os.path.exists(image)):
                render(image)
            with open(os.path.join(args.out, name + ".ref.txt"), "w", encoding="utf-8") as f:
                f.write("\n".join(reference) + "\n")
            cells = []
            for reader, read in readers:
                text, seconds = read(image)
                with open(os.path.join(args.out, "%s.%s.txt" % (name, reader.replace(" ", ""))),
                          "w", encoding="utf-8") as f:
                    f.write(text + "\n")
                in_order, any_order, exact, length = accuracy(reference, text)
                totals[reader][0] += in_order * length
                totals[reader][1] += any_order * length
                totals[reader][2] += exact * length
                totals[reader][3] += seconds
                cells.append("%5.1f %5.1f %5.1f %5.1fs" % (100 * in_order, 100 * any_order,
                                                           100 * exact, seconds))
            total_length += length
            print("%-14s %5d  " % (name, length) + "  ".join(cells), flush=True)
        if total_length:
            print("%-14s %5d  " % ("overall", total_length) + "  ".join(
                "%5.1f %5.1f %5.1f %5.1fs" % (tuple(100 * v / total_length for v in t[:3]) + (t[3],))
                for t in totals.values()))
            print("(each cell: % accuracy in order, in any order, with spaces and line breaks; seconds)")
        if args.long:
            time_long_page(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


def run_sampled(command, env):
    """Runs `command`; returns wall seconds, processor seconds, the processor
    seconds of its busiest thread (what the wall time would be on idle cores)
    and its output. Threads are sampled from /proc twice a second."""
    tick = os.sysconf("SC_CLK_TCK")
    threads = {}
    start = time.monotonic()
    with subprocess.Popen(command, stdout=subprocess.PIPE, text=True, env=env) as process:
        reader = tempfile.TemporaryFile(mode="w+")
        pump = threading.Thread(
            target=lambda: shutil.copyfileobj(process.stdout, reader))
        pump.start()
        while process.poll() is None:
            try:
                for task in os.listdir("/proc/%d/task" % process.pid):
                    with open("/proc/%d/task/%s/stat" % (process.pid, task)) as f:
                        fields = f.read().rsplit(")", 1)[1].split()
                    threads[task] = (int(fields[11]) + int(fields[12])) / tick
            except OSError:
                pass
            time.sleep(0.5)
        pump.join()
        reader.seek(0)
        output = reader.read()
    return (time.monotonic() - start, sum(threads.values()), max(threads.values(), default=0),
            output)


def time_long_page(args, work):
    page, lines = long_page(14657)
    path = os.path.join(work, "long.html")
    with open(path, "w", encoding="utf-8") as f:
        f.write(page)
    image = os.path.join(args.out, "long-1160x14657.png")
    if not (args.reuse and os.path.exists(image)):
        chromium("file://" + path, image, 1160, 14657, work)
    reference = fold("".join(lines))
    print("\n1160 x 14657 page (%d lines, %d characters):" % (len(lines), len(reference)))
    env = dict(os.environ)
    env.pop("OMP_THREAD_LIMIT", None)
    for i, binary in enumerate(args.korvel):
        readings = {}
        for cores in [{"1": "0", "2": "0,1"}[n] for n in args.long_cores.split(",")]:
            seconds, cpu, busiest, result = run_sampled(
                ["taskset", "-c", cores, binary, "--recognize", image], env)
            readings[cores] = result
            print("  korvel %d on %s: %6.1f s; processor time %.1f s, %.1f s on the busiest "
                  "thread" % (i, "one core " if cores == "0" else "two cores", seconds, cpu,
                              busiest), flush=True)
        errors = banded_distance(reference, fold(next(iter(readings.values()))))
        print("  korvel %d: accuracy %.1f %%" % (i, 100 - 100 * min(1, errors / len(reference))))
        if len(readings) == 2:
            print("  korvel %d: one and two cores read %s" %
                  (i, "the same text" if readings["0"] == readings["0,1"] else "DIFFERENT texts"))


if __name__ == "__main__":
    sys.exit(main())
