// The desktop program's response times on the benchmark database (bench/make_bench_db.sh).
// The program starts as bankprep starts (the lock, every window and the data module, the
// main window shown, the login of user 1 from its first showing); then a clerk's actions
// go through the real windows: their handlers, toolbar buttons, mouse clicks on titles and
// keys. Each action is timed until every window shown is repainted: pending events are
// processed, then each visible top-level widget (drop-down lists included) is repainted
// synchronously. Each time is printed with its goal and the memory in use.
//
//   bench_gui DATABASE WORKDIR [BANKPREP_CLI]
//
// WORKDIR receives the generated import files and a copy of the database for
// bankprep-cli (by default ../src/bankprep-cli beside this program in the build tree).
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "controls/dbgrid.h"
#include "controls/dbnavigator.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/data/gbk.h"
#include "core/data/names.h"
#include "windows/application.h"
#include "windows/importtools.h"
#include "windows/importwindows.h"
#include "windows/logindlg.h"
#include "windows/mainwindow.h"
#include "windows/paymentaddition.h"
#include "windows/salaryimportdlg.h"
#include "windows/selcompany.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <utility>

using namespace bankprep;

namespace {

// ---- memory, from /proc/self/status ------------------------------------------------------

qint64 g_maxPeakKb = 0; // the largest VmHWM seen, across the resets

qint64 statusKb(const char* key)
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    const size_t n = std::strlen(key);
    qint64 value = -1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, key, n) == 0 && line[n] == ':') {
            value = std::atoll(line + n + 1);
            break;
        }
    }
    std::fclose(f);
    return value;
}

double mb(qint64 kb)
{
    return double(kb) / 1024.0;
}

qint64 rssKb()
{
    return statusKb("VmRSS");
}

qint64 peakKb()
{
    const qint64 v = statusKb("VmHWM");
    g_maxPeakKb = std::max(g_maxPeakKb, v);
    return v;
}

// Memory the allocator holds free (freed by the program, kept from the system): mostly
// part of the RSS, and used again before the RSS grows.
qint64 freeHeapKb()
{
#ifdef __GLIBC__
    return qint64(mallinfo2().fordblks / 1024);
#else
    return -1;
#endif
}

QString freeHeapNote()
{
    const qint64 kb = freeHeapKb();
    return kb < 0 ? QString() : QStringLiteral(" (%1 MB of it free heap)").arg(mb(kb), 0, 'f', 0);
}

// Sets the peak to the memory in use now, after keeping the peak so far for the run's
// total. False when the kernel refused.
bool resetPeak()
{
    peakKb();
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f)
        return false;
    const bool written = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && written;
}

// ---- timing ------------------------------------------------------------------------------

// What the clerk sees: the events the action left are handled, then every window shown
// is painted afresh, now.
void settle()
{
    QCoreApplication::processEvents();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w->isVisible())
            w->repaint();
    }
}

double elapsedMs(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

template <typename Action> double timed(Action&& action)
{
    QElapsedTimer t;
    t.start();
    action();
    settle();
    return elapsedMs(t);
}

QString timeText(double ms)
{
    return ms < 1000 ? QString::number(ms, 'f', 1) + QStringLiteral(" ms")
                     : QString::number(ms / 1000, 'f', 2) + QStringLiteral(" s");
}

// ---- the report --------------------------------------------------------------------------

struct Result
{
    QString name;
    QString value;
    QString goal;    // empty: none
    QString verdict; // "met", "not met" or empty
    double rssMb;
    QString note;
};

QList<Result> g_results;

// Columns of a monospaced terminal: the wide (CJK) characters take two.
int displayWidth(const QString& s)
{
    int w = 0;
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                          (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                          (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                          (u >= 0xFFE0 && u <= 0xFFE6);
        w += wide ? 2 : 1;
    }
    return w;
}

QString pad(const QString& s, int width)
{
    const int w = displayWidth(s);
    return w >= width ? s : s + QString(width - w, QLatin1Char(' '));
}

QString line(const Result& r)
{
    QString goal = r.goal.isEmpty() ? QStringLiteral("-") : r.goal;
    if (!r.verdict.isEmpty())
        goal += QStringLiteral(" (") + r.verdict + QLatin1Char(')');
    return pad(r.name, 52) + QLatin1Char(' ') + pad(r.value, 11) + QLatin1Char(' ') +
           pad(goal, 26) + QStringLiteral(" RSS ") + QString::number(r.rssMb, 'f', 0) +
           QStringLiteral(" MB");
}

void print(const QString& text)
{
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

// The texts of the message boxes shown since the last call, for the note of a line.
QString messagesShown()
{
    QStringList texts;
    for (const MessageBox::Shown& m : MessageBox::takeShown())
        texts << QStringLiteral("「") + m.text.simplified() + QStringLiteral("」");
    return texts.join(QLatin1Char(' '));
}

void record(const QString& name, const QString& value, const QString& goal, std::optional<bool> met,
            const QString& note = {})
{
    const QString verdict =
        !met ? QString() : (*met ? QStringLiteral("met") : QStringLiteral("not met"));
    const Result r{name, value, goal, verdict, mb(rssKb()), note};
    g_results << r;
    print(line(r));
    if (!note.isEmpty())
        print(QStringLiteral("    ") + note);
}

void recordTime(const QString& name, double ms, std::optional<double> goalMs = std::nullopt,
                const QString& note = {})
{
    std::optional<bool> met;
    QString goal;
    if (goalMs) {
        met = ms <= *goalMs;
        goal = QStringLiteral("≤ ") + timeText(*goalMs);
    }
    record(name, timeText(ms), goal, met, note);
}

// ---- the input files ---------------------------------------------------------------------

void removeDatabase(const QString& path)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QString::fromLatin1(suffix));
}

// The payroll list of `rows` rows as bench/make_payroll.py writes it (GBK .csv).
QString payrollFile(const QString& workDir, int rows)
{
    const QString prefix = workDir + QStringLiteral("/payroll-") + QString::number(rows);
    const QString csv = prefix + QStringLiteral(".csv");
    if (QFileInfo::exists(csv))
        return csv;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral("python3"),
            {QStringLiteral(BANKPREP_BENCH_DIR "/make_payroll.py"), QString::number(rows), prefix});
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 ||
        !QFileInfo::exists(csv))
        throw std::runtime_error("make_payroll.py could not write " + csv.toStdString());
    return csv;
}

// A payment file of `rows` instructions of payer 310100100100 in the bank's format the
// payment export writes: a heading line (count|total, skipped by the import), then
// payer|溯枫帐号|收款帐号|收款单位|收款银行|汇入地点|金额|用途|备注|大额实时, GBK, CRLF.
QString paymentFile(const QString& workDir, int rows)
{
    const QString path =
        workDir + QStringLiteral("/payments-") + QString::number(rows) + QStringLiteral(".txt");
    const GbkEncoder& gbk = GbkEncoder::instance();
    const auto amount = [](qint64 cents) {
        return QString::number(cents / 100) + QLatin1Char('.') +
               QStringLiteral("%1").arg(cents % 100, 2, 10, QLatin1Char('0'));
    };
    QByteArray body;
    body.reserve(qsizetype(rows) * 140);
    qint64 total = 0;
    for (int i = 1; i <= rows; ++i) {
        const qint64 cents = qint64(1 + i % 100000) * 100 + i % 100;
        total += cents;
        const QString text =
            QStringLiteral("310100100100|") + (i % 5 == 0 ? YesText : NoText) +
            QStringLiteral("|6223%1|某某市某某贸易有限公司%2|中国某某银行某某分行|")
                .arg(i, 16, 10, QLatin1Char('0'))
                .arg(i % 1000) +
            (i % 3 == 0 ? QStringLiteral("某某省某某市") : QString()) + QLatin1Char('|') +
            amount(cents) + QStringLiteral("|货款|导入第%1笔|").arg(i) + NoText +
            QStringLiteral("\r\n");
        if (!gbk.append(body, text))
            throw std::runtime_error("a payment line has no GBK form");
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    f.write(QByteArray::number(rows) + '|' + amount(total).toLatin1() + "\r\n");
    f.write(body);
    if (!f.flush())
        throw std::runtime_error("cannot write " + path.toStdString());
    return path;
}

// A copy of the database as it is now (with its write-ahead log, if one is left).
void copyDatabase(const QString& from, const QString& to)
{
    removeDatabase(to);
    for (const char* suffix : {"", "-wal"}) {
        const QString s = QString::fromLatin1(suffix);
        if (QFileInfo::exists(from + s) && !QFile::copy(from + s, to + s))
            throw std::runtime_error("cannot copy the database to " + to.toStdString());
    }
}

// ---- the benchmark -----------------------------------------------------------------------

class Bench
{
public:
    Bench(QString database, QString workDir, QString cli)
        : m_database(std::move(database)), m_work(std::move(workDir)), m_cli(std::move(cli))
    {
    }

    // The input files, and the copy bankprep-cli works on, before the program starts.
    void prepare()
    {
        for (int rows : m_payrollRows)
            m_payroll << payrollFile(m_work, rows);
        m_payments = paymentFile(m_work, m_paymentRows);
        m_previewed = paymentFile(m_work, m_previewRows);
        m_cliDatabase = m_work + QStringLiteral("/cli-copy.db");
        copyDatabase(m_database, m_cliDatabase);
        print(QStringLiteral("input: %1, %2; payment file %3 (%4 MB); copy for bankprep-cli: %5")
                  .arg(m_payroll.join(QStringLiteral(", ")), m_payments)
                  .arg(m_paymentRows)
                  .arg(QString::number(QFileInfo(m_payments).size() / 1e6, 'f', 1), m_cliDatabase));
    }

    void run(Instances& in)
    {
        m_in = &in;
        print(QStringLiteral("logged in as user %1: %2 payment instructions, %3 payees, %4 "
                             "payroll lines")
                  .arg(in.DataModule2.CurrentUser)
                  .arg(in.DataModule2.ATPayment->recordCount())
                  .arg(in.DataModule2.ATCompany->recordCount())
                  .arg(in.DataModule2.ATSalary->recordCount()));
        print(QString());
        detailWindowDropDowns();
        payeeBookSorts();
        payeePicker();
        salaryImports();
        paymentImport();
        paymentReread();
        paymentPreview();
        const qint64 peak = std::max(g_maxPeakKb, peakKb());
        record(QStringLiteral("peak memory of the whole run (VmHWM)"),
               QString::number(mb(peak), 'f', 0) + QStringLiteral(" MB"),
               QStringLiteral("≤ 500 MB"), mb(peak) <= 500);
        const int unexpected = Modal::unexpectedDialogs();
        if (unexpected > 0 || Modal::pendingHandlers() > 0)
            print(QStringLiteral("note: %1 dialog(s) opened that the benchmark did not expect "
                                 "(rejected), %2 answer(s) left unused")
                      .arg(unexpected)
                      .arg(Modal::pendingHandlers()));
    }

private:
    TAppForm& form() { return *m_in->AppForm; }
    TDataModule2& dm() { return m_in->DataModule2; }

    // A Modal answer that the action did not use would answer the next dialog wrongly.
    void requireAnswersUsed(const char* what)
    {
        if (Modal::pendingHandlers() > 0)
            throw std::runtime_error(std::string(what) + ": the expected dialog did not open");
    }

    // 2. The detail window, and its payee drop-downs opened twice each.
    void detailWindowDropDowns()
    {
        TPaymentAdditionDlg& d = *m_in->PaymentAdditionDlg;
        const double shown = timed([&] { QTest::mouseClick(form().TBShow, Qt::LeftButton); });
        recordTime(QStringLiteral("detail window shown (toolbar toggle)"), shown, std::nullopt,
                   d.isVisible() ? messagesShown() : QStringLiteral("the window did not show"));
        const std::pair<TableComboBox*, QString> combos[] = {
            {d.LookupComboAccount, QStringLiteral("收款帐号")},
            {d.LookupComboName, QStringLiteral("收款单位")}};
        for (const auto& [combo, label] : combos) {
            for (int opening = 1; opening <= 2; ++opening) {
                // Alt+Down, as on the keyboard: the box's own key handling opens the list.
                const double open =
                    timed([&] { QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier); });
                const bool isOpen = combo->view()->isVisible();
                const int items = combo->count();
                const double closed = timed([&] {
                    QTest::keyClick(combo->view(), Qt::Key_Escape);
                    if (combo->view()->isVisible())
                        combo->hidePopup();
                });
                recordTime(
                    QStringLiteral("detail %1 drop-down, opening %2").arg(label).arg(opening), open,
                    50,
                    (isOpen ? QStringLiteral("%1 items; closed (Esc) in %2")
                                  .arg(items)
                                  .arg(timeText(closed))
                            : QStringLiteral("the list did not open")) +
                        messagesShown());
            }
        }
    }

    // A click on the title of `field` in the grid's header, where the clerk clicks.
    void clickTitle(DBGrid* grid, const QString& field, bool* byMouse)
    {
        QHeaderView* header = grid->horizontalHeader();
        const int column = grid->tableModel()->columnOfField(field);
        const int x = column >= 0 ? header->sectionViewportPosition(column) : -1;
        *byMouse = x >= 0 && x < header->viewport()->width();
        if (!*byMouse) {
            form().DBGridCompanyTitleButtonClick(field);
            return;
        }
        const int w = std::min(header->sectionSize(column), header->viewport()->width() - x);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(x + w / 2, header->viewport()->height() / 2));
    }

    // 3. The payee book page, sorted by clicked titles.
    void payeeBookSorts()
    {
        const double page = timed([&] { form().CompanyMaintain->trigger(); });
        recordTime(QStringLiteral("payee book page 往来帐户表 (re-read)"), page, std::nullopt,
                   QStringLiteral("%1 payees").arg(dm().ATCompany->recordCount()) +
                       messagesShown());
        DBGrid* grid = form().DBGridCompany;
        for (const QString& field : {col::PayeeName, col::PayeeAccount, col::PayeeName}) {
            bool byMouse = false;
            const double ms = timed([&] { clickTitle(grid, field, &byMouse); });
            const int column = grid->tableModel()->columnOfField(field);
            const QString first = grid->model()->index(0, column).data().toString();
            recordTime(QStringLiteral("payee book sorted by %1 (title click)").arg(field), ms, 50,
                       QStringLiteral("%1; first row: %2")
                               .arg(byMouse ? QStringLiteral("mouse click on the title")
                                            : QStringLiteral("title handler (title not in view)"),
                                    first) +
                           messagesShown());
        }
    }

    // 4. The payee picker from the detail window: a classification chosen, then 确认.
    void payeePicker()
    {
        const double page = timed([&] { form().PaymentAdd->trigger(); });
        recordTime(QStringLiteral("payment page 支付指令 shown again"), page, std::nullopt,
                   messagesShown());
        TPaymentAdditionDlg& d = *m_in->PaymentAdditionDlg;
        if (!d.isVisible())
            timed([&] { QTest::mouseClick(form().TBShow, Qt::LeftButton); });
        const QString wanted = QStringLiteral("分类3");
        QElapsedTimer clock;
        double openMs = -1;
        double typeMs = -1;
        int listed = -1;
        Modal::setNextHandler([&](QDialog* dialog) {
            auto* picker = static_cast<TFrmSelCompany*>(dialog);
            picker->show(); // as its modal run shows it
            settle();
            openMs = elapsedMs(clock);
            const int index = picker->ComboType->findText(wanted);
            typeMs = timed([&] { picker->ComboType->setCurrentIndex(index); });
            listed = dm().ATCompany->recordCount();
            clock.start();
            QTest::mouseClick(picker->BtnOk, Qt::LeftButton);
            return picker->result();
        });
        clock.start();
        QTest::mouseClick(d.BtnSelCompany, Qt::LeftButton);
        settle();
        const double okMs = elapsedMs(clock);
        requireAnswersUsed("payee picker");
        const QString picked = dm().ATPayment->text(col::PayeeAccount);
        recordTime(QStringLiteral("payee picker opened (选择收款人)"), openMs);
        recordTime(QStringLiteral("payee picker classification %1 chosen").arg(wanted), typeMs,
                   std::nullopt, QStringLiteral("%1 payees listed").arg(listed));
        recordTime(QStringLiteral("payee picker 确认"), okMs, 50,
                   QStringLiteral("instruction's 收款帐号 now %1").arg(picked) + messagesShown());
        // The detail window's 关闭 drops the copied payee (the instruction is not stored).
        const double closed = timed([&] { QTest::mouseClick(d.CancelBtn, Qt::LeftButton); });
        recordTime(QStringLiteral("detail window closed (关闭)"), closed, std::nullopt,
                   messagesShown());
    }

    // 5. Payroll lists through the window, then the same files through bankprep-cli.
    void salaryImports()
    {
        const double page = timed([&] { form().Salary->trigger(); });
        recordTime(QStringLiteral("payroll page 工资表 shown"), page, std::nullopt,
                   messagesShown());
        QList<double> windowMs;
        for (int i = 0; i < m_payroll.size(); ++i) {
            const QString file = m_payroll.at(i);
            Modal::setNextHandler([file](QDialog* dialog) {
                static_cast<QFileDialog*>(dialog)->selectFile(file);
                return int(QDialog::Accepted);
            });
            Modal::setNextHandler([](QDialog* dialog) {
                auto* columns = static_cast<TImportDlg*>(dialog);
                columns->CBAccount->setCurrentIndex(0); // 编号
                columns->CBName->setCurrentIndex(1);    // 姓名
                columns->CBCard->setCurrentIndex(2);    // 卡号
                columns->CBAmount->setCurrentIndex(3);  // 实发工资
                QTest::mouseClick(columns->BitBtn1, Qt::LeftButton);
                return columns->result();
            });
            const double ms = timed([&] { QTest::mouseClick(form().TBOpen, Qt::LeftButton); });
            requireAnswersUsed("payroll import");
            windowMs << ms;
            recordTime(
                QStringLiteral("payroll import, window, %1 rows (.csv)").arg(m_payrollRows[i]), ms,
                std::nullopt,
                QStringLiteral("%1 payroll lines shown; ").arg(dm().ATSalary->recordCount()) +
                    messagesShown());
        }
        for (int i = 0; i < m_payroll.size(); ++i) {
            QString output;
            const double ms = runCli(m_payroll.at(i), &output);
            recordTime(QStringLiteral("payroll import, bankprep-cli, %1 rows (.csv)")
                           .arg(m_payrollRows[i]),
                       ms, std::nullopt, output);
            const double ratio = windowMs.at(i) / ms;
            record(QStringLiteral("payroll import %1 rows: window / bankprep-cli")
                       .arg(m_payrollRows[i]),
                   QString::number(ratio, 'f', 2), QStringLiteral("≤ 1.2"), ratio <= 1.2);
        }
    }

    double runCli(const QString& file, QString* output)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BANKPREP_PASSWORD"), QString());
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.setProgram(m_cli);
        p.setArguments({QStringLiteral("--db"), m_cliDatabase, QStringLiteral("import-salary"),
                        file, QStringLiteral("--col"), QStringLiteral("编号=1"),
                        QStringLiteral("--col"), QStringLiteral("姓名=2"), QStringLiteral("--col"),
                        QStringLiteral("卡号=3"), QStringLiteral("--col"),
                        QStringLiteral("实发工资=4")});
        QElapsedTimer t;
        t.start();
        p.start();
        const bool finished = p.waitForFinished(-1);
        const double ms = elapsedMs(t);
        *output = QString::fromUtf8(p.readAllStandardOutput()).simplified();
        const QString errors = QString::fromUtf8(p.readAllStandardError()).simplified();
        if (!finished || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            *output += QStringLiteral(" [exit status %1] %2").arg(p.exitCode()).arg(errors);
        return ms;
    }

    // 6. A payment file through the payment import window.
    void paymentImport()
    {
        const double page = timed([&] { form().PaymentAdd->trigger(); });
        recordTime(QStringLiteral("payment page 支付指令 shown"), page, std::nullopt,
                   messagesShown());
        const qint64 before = rssKb();
        const QString beforeHeap = freeHeapNote();
        resetPeak();
        double ms = -1;
        QString status;
        Modal::setNextHandler([&](QDialog* dialog) {
            auto* w = static_cast<Timptransfer*>(dialog);
            w->show(); // as its modal run shows it
            settle();
            w->EditFile->clear();
            QTest::keyClicks(w->EditFile, QDir::toNativeSeparators(m_payments));
            ms = timed([&] { QTest::mouseClick(w->BtnStart, Qt::LeftButton); });
            status = w->StatusLabel->text();
            QTest::mouseClick(w->BtnClose, Qt::LeftButton);
            return w->result();
        });
        QTest::mouseClick(form().ToolButton1, Qt::LeftButton);
        settle();
        requireAnswersUsed("payment import");
        const qint64 after = rssKb();
        const QString afterHeap = freeHeapNote();
        const qint64 peak = peakKb();
        recordTime(QStringLiteral("payment import, window, %1 lines").arg(m_paymentRows), ms,
                   std::nullopt,
                   QStringLiteral("RSS before %1 MB%6, after %2 MB%7, peak during %3 MB; status "
                                  "「%4」; %5 instructions shown; ")
                           .arg(mb(before), 0, 'f', 0)
                           .arg(mb(after), 0, 'f', 0)
                           .arg(mb(peak), 0, 'f', 0)
                           .arg(status)
                           .arg(dm().ATPayment->recordCount())
                           .arg(beforeHeap, afterHeap) +
                       messagesShown());
    }

    // 8. The preview of a file of a million lines in the payment import window: 预览
    // clicked after the file's path is typed in, timed until the grid is painted.
    void paymentPreview()
    {
        double ms = -1;
        QString summary;
        int shown = -1;
        Modal::setNextHandler([&](QDialog* dialog) {
            auto* w = static_cast<Timptransfer*>(dialog);
            w->show();
            settle();
            w->EditFile->clear();
            QTest::keyClicks(w->EditFile, QDir::toNativeSeparators(m_previewed));
            ms = timed([&] { QTest::mouseClick(w->BtnPreview, Qt::LeftButton); });
            summary = w->Preview->Summary->text().simplified();
            shown = w->Preview->Grid->rowCount();
            QTest::mouseClick(w->BtnClose, Qt::LeftButton);
            return w->result();
        });
        QTest::mouseClick(form().ToolButton1, Qt::LeftButton);
        settle();
        requireAnswersUsed("payment preview");
        recordTime(
            QStringLiteral("payment import preview (预览), %1 lines").arg(m_previewRows), ms, 1000,
            QStringLiteral("%1 rows shown; 「%2」; ").arg(shown).arg(summary) + messagesShown());
    }

    // 7. The payment table read again through the navigator's refresh button: once with
    // nothing changed since the import, once after another program (sqlite3) changed one
    // instruction, when every row is read again.
    void paymentReread()
    {
        rereadOnce(QStringLiteral("unchanged"));
        QProcess sqlite;
        sqlite.start(QStringLiteral("sqlite3"),
                     {m_database, QStringLiteral("update Payment set 备注 = '改过' where rowid = "
                                                 "(select min(rowid) from Payment)")});
        if (!sqlite.waitForFinished(60000) || sqlite.exitCode() != 0)
            std::fprintf(stderr, "sqlite3 could not change the database\n");
        rereadOnce(QStringLiteral("1 row changed"));
    }

    void rereadOnce(const QString& when)
    {
        const qint64 before = rssKb();
        const QString beforeHeap = freeHeapNote();
        const bool reset = resetPeak();
        const double ms = timed([&] {
            QTest::mouseClick(form().DBNavigatorPayment->button(DBNavigator::Refresh),
                              Qt::LeftButton);
        });
        const qint64 peak = peakKb();
        const qint64 growth = peak - before;
        recordTime(QStringLiteral("payment re-read (刷新), %1").arg(when), ms, std::nullopt,
                   QStringLiteral("%1 instructions; ").arg(dm().ATPayment->recordCount()) +
                       messagesShown());
        record(QStringLiteral("re-read memory growth, %1").arg(when),
               QString::number(mb(growth), 'f', 0) + QStringLiteral(" MB"),
               QStringLiteral("< %1 MB (RSS before)").arg(mb(before), 0, 'f', 0), growth < before,
               reset ? QStringLiteral("RSS before %1 MB%3, peak during %2 MB")
                           .arg(mb(before), 0, 'f', 0)
                           .arg(mb(peak), 0, 'f', 0)
                           .arg(beforeHeap)
                     : QStringLiteral("the peak could not be reset: the run's peak so far"));
    }

    QString m_database;
    QString m_work;
    QString m_cli;
    QString m_cliDatabase;
    const QList<int> m_payrollRows{10000, 100000};
    QStringList m_payroll;
    const int m_paymentRows = 100000;
    QString m_payments;
    const int m_previewRows = 1000000;
    QString m_previewed;
    Instances* m_in = nullptr;
};

void printSummary()
{
    print(QString());
    print(QStringLiteral("summary"));
    print(pad(QStringLiteral("action"), 52) + QLatin1Char(' ') +
          pad(QStringLiteral("measured"), 11) + QLatin1Char(' ') + pad(QStringLiteral("goal"), 26) +
          QStringLiteral(" memory"));
    print(QString(102, QLatin1Char('-')));
    for (const Result& r : std::as_const(g_results))
        print(line(r));
}

// The offscreen platform's remarks on what it cannot do (raise, grab the keyboard, ...)
// are dropped; everything else goes to the usual output.
QtMessageHandler g_defaultHandler = nullptr;

void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtWarningMsg && text.startsWith(QLatin1String("This plugin does not support")))
        return;
    g_defaultHandler(type, context, text);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_defaultHandler = qInstallMessageHandler(messageHandler);
    BankprepApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_gui DATABASE WORKDIR [BANKPREP_CLI]\n");
        return 2;
    }
    const QString database = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString work = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    const QString cli = argc > 3 ? QFileInfo(QString::fromLocal8Bit(argv[3])).absoluteFilePath()
                                 : QDir(QCoreApplication::applicationDirPath())
                                       .absoluteFilePath(QStringLiteral("../src/bankprep-cli"));
    if (!QFileInfo(database).isFile()) {
        std::fprintf(stderr, "bench_gui: no database %s\n", argv[1]);
        return 2;
    }
    if (!QFileInfo(cli).isExecutable()) {
        std::fprintf(stderr, "bench_gui: bankprep-cli not found at %s\n", qPrintable(cli));
        return 2;
    }
    if (!QDir().mkpath(work)) {
        std::fprintf(stderr, "bench_gui: cannot create %s\n", argv[2]);
        return 2;
    }

    Bench bench(database, work, cli);
    try {
        bench.prepare();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_gui: %s\n", e.what());
        return 1;
    }
    print(QStringLiteral("database: %1 (%2 MB), platform %3")
              .arg(database)
              .arg(QFileInfo(database).size() / 1e6, 0, 'f', 0)
              .arg(QGuiApplication::platformName()));

    // The clerk's part: message boxes get their default answer, the login window its OK
    // with the empty password of user 1.
    MessageBox::enableTestMode();
    Modal::setNextHandler([](QDialog* d) {
        auto* login = static_cast<TPasswordDlg*>(d);
        login->OKBtnClick();
        return login->result();
    });
    int failed = 0;
    QElapsedTimer startup;
    std::function<void(Instances&)> whenLoggedIn;
    whenLoggedIn = [&](Instances& in) {
        if (in.AppForm->isTerminated())
            return; // the login was refused: the program ends by itself
        if (Modal::pendingHandlers() > 0 || !in.AppForm->DBGridPayment->isEnabled()) {
            Instances* program = &in;
            QTimer::singleShot(1, &app, [&whenLoggedIn, program] { whenLoggedIn(*program); });
            return;
        }
        settle();
        recordTime(QStringLiteral("start-up: create + show + login"), elapsedMs(startup),
                   std::nullopt, messagesShown());
        try {
            bench.run(in);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_gui: %s\n", e.what());
            failed = 1;
        }
        printSummary();
        in.AppForm->close();
        QCoreApplication::exit(failed);
    };
    startup.start();
    const int status = runDesktopProgram(app, database, [&](Instances& in) {
        QApplication::setActiveWindow(in.AppForm.get());
        Instances* program = &in;
        QTimer::singleShot(0, &app, [&whenLoggedIn, program] { whenLoggedIn(*program); });
    });
    if (status != 0 && !failed) {
        const QString shown = messagesShown();
        std::fprintf(stderr, "bench_gui: the program ended with status %d %s\n", status,
                     shown.toUtf8().constData());
    }
    return status;
}
