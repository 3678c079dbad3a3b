// The import commands of bankprep-cli: the two delimited-text imports and the payroll
// import with the desktop windows' settings (from options or a saved profile), the
// journal of imports and the undo of one.
#include "cli/importcommands.h"

#include "cli/cli.h"

#include "core/data/backup.h"
#include "core/data/datamodule.h"
#include "core/data/fileguard.h"
#include "core/export/sha256.h"
#include "core/import/importbatch.h"
#include "core/import/importprofile.h"
#include "core/import/salaryimport.h"
#include "core/import/textimport.h"

#include <QFileInfo>

namespace bankprep::cli {

namespace {

const QString kAllowSameFile = QStringLiteral("--allow-same-file");

// The profile named by --profile; refused when there is none of that name.
QJsonObject profileNamed(TDataModule2& dm, ImportKind kind, const QString& name)
{
    const auto profile = loadProfile(dm.ADOConn, kind, name);
    if (!profile)
        throw Failure{kRefused, noSuchProfile(name).message()};
    return *profile;
}

// A file imported before into the same list is refused unless the option says so.
void refuseRepeatedImport(TDataModule2& dm, ImportKind kind, const QByteArray& sha256,
                          const Options& o)
{
    if (o.flag(kAllowSameFile))
        return;
    if (const auto earlier = earlierImportOf(dm.ADOConn, kind, sha256))
        throw Failure{kRefused, repeatedImportMessage(*earlier) +
                                    QStringLiteral(" 如确需再次导入，请加 --allow-same-file。")};
}

// The settings the options give, over the defaults or a profile's.
void applyOptions(const Options& o, ImportKind kind, ImportForm& form)
{
    if (const auto sep = o.value(QStringLiteral("--sep")))
        form.separatorText = *sep == QLatin1String("tab") ? TextImport::tabItem() : *sep;
    if (const auto start = o.value(QStringLiteral("--start")))
        form.startText = *start;
    if (const auto yesNo = o.value(QStringLiteral("--yesno")))
        form.yesNoText = *yesNo;
    if (const auto code = o.value(QStringLiteral("--encoding"))) {
        const auto encoding = encodingFromCode(*code);
        if (!encoding)
            throw Failure{kUsage,
                          QStringLiteral("未知的编码：%1（可用 auto、gbk、utf-8）").arg(*code)};
        form.encoding = *encoding;
    }
    for (const QString& col : o.values(QStringLiteral("--col"))) {
        const qsizetype eq = col.indexOf(QLatin1Char('='));
        const auto field = eq > 0 ? columnFromKey(kind, QStringView(col).left(eq)) : std::nullopt;
        if (!field)
            throw Failure{kUsage, QStringLiteral("未知的列：%1").arg(col)};
        form.columnTexts.insert(*field, col.mid(eq + 1));
    }
}

} // namespace

// The import commands take the window's settings from their options (over a saved
// profile's) and report as the window does: the success message on standard output,
// refusals on standard error.
int importTextCommand(const QString& db, QStringList args, bool payments)
{
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-')))
        throw Failure{kUsage, QStringLiteral("缺少要导入的文件")};
    const QString file = args.takeFirst();
    const Options o(args,
                    {QStringLiteral("--sep"), QStringLiteral("--start"), QStringLiteral("--yesno"),
                     QStringLiteral("--col"), QStringLiteral("--encoding"),
                     QStringLiteral("--profile")},
                    {kAllowSameFile});
    const ImportLayout& layout = payments ? paymentImport() : payeeImport();
    ImportForm form = defaultImportForm(layout);
    form.file = file;
    // The options over the defaults (their usage errors before the login), or over a
    // profile's settings once the database is open.
    ImportForm given = form;
    applyOptions(o, layout.kind, given);
    const std::optional<QString> profile = o.value(QStringLiteral("--profile"));

    TDataModule2 dm;
    std::optional<CheckedImport> checked;
    QByteArray sha256;
    const auto check = [&](const ImportSettings& settings) {
        const QByteArray bytes = FileGuard::readInputFile(file);
        checked.emplace(layout, bytes, settings);
        sha256 = sha256Hex(bytes);
    };
    // A small file is checked while the password's hash is computed; a large one after
    // it, so that the hash's working memory (64 MB) and the file are not held at once.
    // With a profile, the settings are known only once the database is open.
    constexpr qint64 kCheckedWhileHashing = 32 * 1024 * 1024;
    if (profile) {
        login(dm, db);
        applyTextProfile(profileNamed(dm, layout.kind, *profile), layout.kind, form);
        applyOptions(o, layout.kind, form);
        check(checkImportForm(form, layout));
    } else {
        const ImportSettings settings = checkImportForm(given, layout);
        if (QFileInfo(file).size() <= kCheckedWhileHashing) {
            login(dm, db, {}, [&] { check(settings); });
        } else {
            login(dm, db);
            check(settings);
        }
    }
    refuseRepeatedImport(dm, layout.kind, sha256, o);
    const ImportReport report = checked->store(dm, {file, sha256});
    if (profile)
        setLastProfile(dm.ADOConn, layout.kind, *profile);
    // An interrupted run is a refusal, though the rows before the refused one stay.
    QTextStream out(stdout);
    QTextStream& to = report.interrupted ? err() : out;
    for (const QString& m : report.messages)
        to << m << "\n";
    return report.interrupted ? kRefused : kOk;
}

int importSalaryCommand(const QString& db, QStringList args)
{
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-')))
        throw Failure{kUsage, QStringLiteral("缺少要导入的文件")};
    const QString file = args.takeFirst();
    const Options o(args, {QStringLiteral("--col"), QStringLiteral("--profile")}, {kAllowSameFile});
    SalaryColumns columns;
    const QStringList names = {QStringLiteral("编号"), QStringLiteral("姓名"),
                               QStringLiteral("卡号"), QStringLiteral("实发工资")};
    int* const targets[] = {&columns.number, &columns.name, &columns.card, &columns.amount};
    bool given[4] = {false, false, false, false};
    for (const QString& col : o.values(QStringLiteral("--col"))) {
        const qsizetype eq = col.indexOf(QLatin1Char('='));
        const qsizetype at = eq > 0 ? names.indexOf(col.left(eq)) : -1;
        bool ok = false;
        const int n = col.mid(eq + 1).toInt(&ok);
        if (at < 0 || !ok || n < 1)
            throw Failure{kUsage, QStringLiteral("列的写法不正确：%1").arg(col)};
        *targets[at] = n;
        given[at] = true;
    }
    TDataModule2 dm;
    SalaryFile opened;
    login(dm, db, {}, [&] { opened = openSalaryFile(file); });
    const std::optional<QString> profile = o.value(QStringLiteral("--profile"));
    if (profile) {
        // The columns by their titles, wherever they stand in this file.
        const SalaryTitles t = salaryTitlesFrom(profileNamed(dm, ImportKind::Salary, *profile));
        const QString* titles[] = {&t.number, &t.name, &t.card, &t.amount};
        for (int i = 0; i < 4; ++i) {
            if (given[i])
                continue;
            const int column = columnOfTitle(opened.titles, *titles[i]);
            if (column == 0)
                throw Failure{kRefused, QStringLiteral("工资表中没有列标题“%1”（导入方案“%2”）。")
                                            .arg(*titles[i], *profile)};
            *targets[i] = column;
        }
    }
    for (int n : {columns.number, columns.name, columns.card, columns.amount}) {
        if (n > opened.titles.size())
            throw Failure{kUsage, QStringLiteral("列号%1超出了文件的列标题数（%2列）")
                                      .arg(n)
                                      .arg(opened.titles.size())};
    }
    refuseRepeatedImport(dm, ImportKind::Salary, opened.source.sha256, o);
    const int stored = importSalary(dm, opened.sheet, columns, opened.source);
    // The next import, here or in the desktop program, finds these columns by their titles.
    rememberSalaryMapping(
        dm.ADOConn, {opened.titles.at(columns.number - 1), opened.titles.at(columns.name - 1),
                     opened.titles.at(columns.card - 1), opened.titles.at(columns.amount - 1)});
    if (profile)
        setLastProfile(dm.ADOConn, ImportKind::Salary, *profile);
    QTextStream(stdout) << salaryImportedMessage(stored) << "\n";
    warnCards(cardNumberWarnings(opened.sheet, columns, stored));
    return kOk;
}

int importLogCommand(const QString& db, const QStringList& args)
{
    noOptions(args);
    TDataModule2 dm;
    login(dm, db);
    QTextStream out(stdout);
    out << QStringLiteral("编号\t时间\t类型\t笔数\t文件\tSHA-256\t状态") << "\n";
    for (const ImportBatch& b : importBatches(dm.ADOConn)) {
        const QString state = b.undone.isValid() ? QStringLiteral("已撤销 ") + shownTime(b.undone)
                              : b.undoable       ? QStringLiteral("可撤销")
                                                 : QStringLiteral("不能撤销");
        out << b.id << '\t' << shownTime(b.time) << '\t' << importKindText(b.kind) << '\t' << b.rows
            << '\t' << b.file << '\t' << b.sha256 << '\t' << state << "\n";
    }
    return kOk;
}

int undoImportCommand(const QString& db, const QStringList& args)
{
    QStringList rest = args;
    std::optional<qint64> id;
    if (!rest.isEmpty() && !rest.first().startsWith(QLatin1Char('-'))) {
        bool ok = false;
        id = rest.takeFirst().toLongLong(&ok);
        if (!ok)
            throw Failure{kUsage, QStringLiteral("用法：undo-import [编号] [--keep-changed | "
                                                 "--remove-changed]")};
    }
    const Options o(rest, {},
                    {QStringLiteral("--keep-changed"), QStringLiteral("--remove-changed")});
    const bool keep = o.flag(QStringLiteral("--keep-changed"));
    const bool remove = o.flag(QStringLiteral("--remove-changed"));
    if (keep && remove)
        throw Failure{kUsage, QStringLiteral("--keep-changed 与 --remove-changed 只能选一个")};
    TDataModule2 dm;
    login(dm, db);
    if (!id) {
        const auto last = lastUndoableBatch(dm.ADOConn, dm.CurrentUser);
        if (!last)
            throw Failure{kRefused, QStringLiteral("没有可以撤销的导入。")};
        id = last->id;
    }
    const UndoPlan plan = planUndo(dm.ADOConn, *id);
    if (!plan.changedKeys.empty() && !keep && !remove) {
        err() << QStringLiteral("导入后有%1条记录被修改过：").arg(plan.changedKeys.size()) << "\n"
              << QStringLiteral("编号\t") << plan.headings.join(QLatin1Char('\t')) << "\n";
        for (const UndoPlan::ChangedRow& r : plan.changed)
            err() << r.key << '\t' << r.values.join(QLatin1Char('\t')) << "\n";
        err() << QStringLiteral("请加 --keep-changed（保留这些记录）或 --remove-changed（一并删除）"
                                "后重试。")
              << "\n";
        return kRefused;
    }
    const UndoResult result = undoImport(dm, plan, remove);
    QTextStream out(stdout);
    out << undoneMessage(result) << "\n";
    if (plan.missing > 0)
        out << QStringLiteral("另有%1条记录已不在数据库中。").arg(plan.missing) << "\n";
    return kOk;
}

} // namespace bankprep::cli
