#include "commandline.h"

#include <cmath>

namespace korvel {

Dispatch dispatch(const QStringList& args) {
    Dispatch d;
    if (const qsizetype i = args.indexOf(QStringLiteral("--long-live-check"));
        i >= 0 && args.size() - i - 1 >= 4) {
        d.mode = Mode::longLiveCheck;
        d.arguments = args.mid(i + 1, 4);
        return d;
    }
    if (const qsizetype i = args.indexOf(QStringLiteral("--region-check"));
        i >= 0 && args.size() - i - 1 >= 3) {
        bool pidOk = false, xOk = false, yOk = false;
        const qint32 pid = args[i + 1].toInt(&pidOk);
        const double x = args[i + 2].toDouble(&xOk);
        const double y = args[i + 3].toDouble(&yOk);
        if (pidOk && xOk && yOk && std::isfinite(x) && std::isfinite(y)) {
            d.mode = Mode::regionCheck;
            d.pid = pid;
            d.x = x;
            d.y = y;
            return d;
        }
    }
    const std::pair<const char*, Mode> plain[] = {
        {"--accessibility-status", Mode::accessibilityStatus},
        {"--mosaic-brush-check", Mode::mosaicBrushCheck},
        {"--check-update-feed", Mode::checkUpdateFeed},
        {"--self-test", Mode::selfTest},
        {"--help", Mode::help},
        {"--version", Mode::version},
    };
    for (const auto& [option, mode] : plain) {
        if (args.contains(QLatin1String(option))) {
            d.mode = mode;
            return d;
        }
    }
    if (const qsizetype i = args.indexOf(QStringLiteral("--recognize")); i >= 0) {
        d.mode = Mode::recognize;
        // "-" alone is standard input; anything else starting with "--" is
        // another option.
        for (const QString& a : args.mid(i + 1)) {
            if (!a.startsWith(QStringLiteral("--")))
                d.files << a;
        }
        return d;
    }
    if (args.contains(QLatin1String("--capture"))) {
        d.mode = Mode::capture;
        return d;
    }
    const std::pair<const char*, Mode> withFile[] = {{"--pin", Mode::pin}, {"--edit", Mode::edit}};
    for (const auto& [option, mode] : withFile) {
        if (const qsizetype i = args.indexOf(QLatin1String(option)); i >= 0) {
            d.mode = mode;
            d.file = args.value(i + 1);
            return d;
        }
    }
    return d;
}

QString usage() {
    return QStringLiteral(
        "用法：korvel [选项]\n"
        "  （无选项）                   在系统托盘中启动 Korvel\n"
        "  --capture                    在正在运行的 Korvel 中开始截图\n"
        "  --pin 文件                   将图片钉在屏幕上\n"
        "  --edit 文件                  打开图片进行标注\n"
        "  --recognize 文件…            识别图片中的文字并输出到标准输出，\"-\" 表示标准输入\n"
        "  --accessibility-status       显示辅助功能是否已启用\n"
        "  --check-update-feed          检查更新源并显示结果\n"
        "  --self-test                  运行全部内置自检\n"
        "  --mosaic-brush-check         自检：马赛克画笔\n"
        "  --long-live-check A B C D    自检：实时长截图\n"
        "  --region-check 进程号 X Y    自检：实时子区域\n"
        "  --help                       显示本帮助\n"
        "  --version                    显示版本号\n");
}

} // namespace korvel
