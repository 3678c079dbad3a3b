// Opens the Payment table object of a database the way the program does at start-up
// (read whole into memory, filter applied, first row current) and prints the time.
#include "core/data/connection.h"
#include "core/data/table.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

using namespace bankprep;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_open_payment DATABASE [FILTER]\n");
        return 2;
    }
    const QString filter = argc > 2 ? QString::fromUtf8(argv[2]) : QStringLiteral("用户编号 = 1");
    QElapsedTimer timer;
    timer.start();
    try {
        Connection conn;
        conn.open(QString::fromLocal8Bit(argv[1]));
        Table payment(conn, QStringLiteral("Payment"));
        payment.setFiltered(true);
        payment.open();
        payment.setFilterText(filter);
        std::printf("rows read: %s, rows presented: %d, current row: %d, %lld ms\n", "all",
                    payment.recordCount(), payment.currentRow(), qint64(timer.elapsed()));
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", e.message().toUtf8().constData());
        return 1;
    }
    return 0;
}
