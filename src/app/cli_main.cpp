// bankprep-cli: the desktop program's jobs from a shell. The commands arrive with the
// jobs they run; for now it only answers --help.
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.contains(QStringLiteral("--help"))) {
        out << "用法：bankprep-cli [--db 文件] 命令 ...\n"
               "  --db 文件   数据库文件，默认为当前目录下的 data.db\n"
               "  --help      显示本说明\n";
        return args.isEmpty() ? 2 : 0;
    }
    err << "未知的命令：" << args.first() << "\n";
    return 2;
}
