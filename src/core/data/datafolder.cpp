#include "core/data/datafolder.h"

#include "core/data/dberror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace bankprep {

QString desktopUsage()
{
    return QStringLiteral(
        "用法：bankprep [--data-dir 文件夹 | --user-data]\n"
        "\n"
        "  （无选项）           数据库 data.db 和 backups 文件夹在当前目录中\n"
        "  --data-dir 文件夹    在该文件夹中工作（不存在时建立）\n"
        "  --user-data          在 $XDG_DATA_HOME/bankprep（默认 ~/.local/share/bankprep）中\n"
        "                       工作，第一次启动时建立；桌面菜单中的程序项使用这个选项\n"
        "  --help               显示本说明\n");
}

DataFolderChoice chooseDataFolder(const QStringList& arguments)
{
    DataFolderChoice choice;
    bool chosen = false;
    const auto choose = [&](const QString& folder) {
        if (chosen)
            throw DbError(QStringLiteral("--data-dir 和 --user-data 只能给出一个。\n\n") +
                          desktopUsage());
        if (folder.isEmpty())
            throw DbError(QStringLiteral("--data-dir 缺少文件夹。\n\n") + desktopUsage());
        chosen = true;
        choice.folder = folder;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--user-data"))
            choose(userDataFolder());
        else if (a == QLatin1String("--data-dir"))
            choose(i + 1 < arguments.size() ? arguments.at(++i) : QString());
        else if (a.startsWith(QLatin1String("--data-dir=")))
            choose(a.mid(11));
        else
            throw DbError(QStringLiteral("未知的选项：%1\n\n").arg(a) + desktopUsage());
    }
    return choice;
}

QString userDataFolder()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/bankprep"));
}

void enterDataFolder(const QString& folder)
{
    const QString shown = QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath());
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        throw DbError(QStringLiteral("“%1”不是文件夹，不能用作数据文件夹，程序无法启动。").arg(shown));
    if (!info.exists()) {
        // The parents as the platform makes them; the folder itself for its owner only:
        // it holds the payments and every backup.
        const QString parent = QFileInfo(info.absoluteFilePath()).path();
        if (!QDir().mkpath(parent) ||
            (::mkdir(QFile::encodeName(info.absoluteFilePath()).constData(), 0700) != 0 &&
             errno != EEXIST))
            throw DbError(QStringLiteral("无法建立数据文件夹“%1”（%2），程序无法启动。")
                              .arg(shown, QString::fromLocal8Bit(std::strerror(errno))));
    }
    if (!QDir::setCurrent(folder))
        throw DbError(QStringLiteral("无法进入数据文件夹“%1”，程序无法启动。").arg(shown));
}

} // namespace bankprep
