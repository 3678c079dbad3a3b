// The import tools' response times on a large file or batch, through the same core calls
// the windows make:
//   bench_import_tools preview FILE       the payment import window's preview of FILE
//                                         (default settings), as 预览 shows it
//   bench_import_tools undo DATABASE      plans and undoes the last import of user 1, as
//                                         文件 → 撤销上次导入 does (backup included)
#include "core/data/datamodule.h"
#include "core/data/fileguard.h"
#include "core/import/importbatch.h"
#include "core/import/importpreview.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstring>

using namespace bankprep;

namespace {

int preview(const QString& file)
{
    QElapsedTimer timer;
    timer.start();
    ImportForm form = defaultImportForm(paymentImport());
    form.file = file;
    const ImportSettings settings = checkImportForm(form, paymentImport());
    const ImportPreview p =
        previewTextImport(paymentImport(), FileGuard::readInputFile(file), settings);
    std::printf("preview: %lld ms (%s)\n", qint64(timer.elapsed()),
                previewSummary(p, true).toUtf8().constData());
    return p.refusal.isEmpty() ? 0 : 1;
}

int undo(const QString& db)
{
    TDataModule2 dm;
    dm.create(db);
    dm.CurrentUser = QStringLiteral("1");
    QElapsedTimer timer;
    timer.start();
    const auto batch = lastUndoableBatch(dm.ADOConn, dm.CurrentUser);
    if (!batch) {
        std::fprintf(stderr, "no batch to undo\n");
        return 1;
    }
    const UndoPlan plan = planUndo(dm.ADOConn, batch->id);
    const qint64 planned = timer.elapsed();
    const UndoResult r = undoImport(dm, plan, false);
    std::printf("undo: %lld ms (plan %lld ms; %s)\n", qint64(timer.elapsed()), planned,
                undoneMessage(r).toUtf8().constData());
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3 || (std::strcmp(argv[1], "preview") != 0 && std::strcmp(argv[1], "undo") != 0)) {
        std::fprintf(stderr, "usage: bench_import_tools preview FILE | undo DATABASE\n");
        return 2;
    }
    try {
        const QString arg = QString::fromLocal8Bit(argv[2]);
        return std::strcmp(argv[1], "preview") == 0 ? preview(arg) : undo(arg);
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", e.message().toUtf8().constData());
        return 1;
    }
}
