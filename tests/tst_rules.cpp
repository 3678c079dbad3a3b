// The record rules, driven through the table objects: the payment checks and their
// order, learning of purposes and payees, the automatic new instruction, the
// classification delete and the duplicate classification name.
#include "core/data/backup.h"
#include "core/data/datamodule.h"
#include "testutil.h"

#include <QQueue>
#include <QtTest>
#include <functional>

using namespace bankprep;
using namespace testutil;

namespace {

// Answers the rules' questions in advance and remembers what they said.
class ScriptedInteraction : public RuleInteraction
{
public:
    QQueue<bool> answers;
    QQueue<std::function<int()>> picks;
    QStringList asked;
    QStringList notices;
    int pickerShown = 0;

    bool askInformation(const QString& text) override
    {
        asked << text;
        return answers.isEmpty() ? false : answers.dequeue();
    }
    void notice(const QString& text) override { notices << text; }
    int pickCompanyType() override
    {
        ++pickerShown;
        return picks.isEmpty() ? 2 : picks.dequeue()();
    }
};

class ButtonSpy : public PaymentButtons
{
public:
    QList<bool> previous;
    QList<bool> next;
    void setPreviousEnabled(bool e) override { previous << e; }
    void setNextEnabled(bool e) override { next << e; }
};

const QString kNewAccountQuestion =
    QStringLiteral("您输入了一个新的账号，是否要将它添加到常用往来账户中？");

} // namespace

class TestRules : public QObject
{
    Q_OBJECT

    std::unique_ptr<Workspace> ws;
    std::unique_ptr<TDataModule2> dm;
    ScriptedInteraction si;
    ButtonSpy buttons;

    Table& pay() { return *dm->ATPayment; }

    void login()
    {
        dm->CurrentUser = QStringLiteral("1");
        for (Table* t :
             {dm->ATPayment.get(), dm->ATSalary.get(), dm->ATDrawee.get(), dm->ATCompany.get()})
            t->setFiltered(false);
        for (Table* t : {dm->ATPayment.get(), dm->ATSalary.get(), dm->ATDrawee.get()}) {
            t->setFilterText(QStringLiteral("用户编号 = 1"));
            t->setFiltered(true);
        }
    }

    // Fills the instruction being edited.
    void fill(const QString& sameCity, const QString& sameBank, const QString& bank,
              const QString& place, const QString& largeValue = QStringLiteral("否"),
              const QString& account = QStringLiteral("6222001"))
    {
        Table& p = pay();
        if (!p.isEditing())
            p.append();
        p.setValue(u"同城交易", sameCity);
        p.setValue(u"溯枫帐号", sameBank);
        p.setValue(u"收款银行", bank);
        p.setValue(u"汇入地点", place);
        p.setValue(u"大额实时", largeValue);
        p.setValue(u"收款帐号", account);
        p.setValue(u"收款单位", QStringLiteral("某公司"));
        p.setValue(u"金额", QStringLiteral("100"));
    }

    int count(const QString& sql, const QVariantList& params = {})
    {
        return querySingle(ws->path(), sql, params).toInt();
    }

    // Stores the current instruction and returns the refusal, if any.
    QString store()
    {
        try {
            pay().post();
        } catch (const DbError& e) {
            QTest::qVerify(e.code() == 0, "e.code() == 0", "rule errors carry code 0", __FILE__,
                           __LINE__);
            return e.message();
        }
        return QString();
    }

private slots:
    void init()
    {
        ws = std::make_unique<Workspace>();
        si = ScriptedInteraction();
        buttons = ButtonSpy();
        dm = std::make_unique<TDataModule2>();
        dm->setInteraction(&si);
        dm->setPaymentButtons(&buttons);
        dm->create(ws->path());
        login();
    }

    void cleanup()
    {
        dm.reset();
        ws.reset();
    }

    void newInstructionDefaults()
    {
        Table& p = pay();
        // The empty list already offers a new instruction.
        QVERIFY(p.isNewRow(p.currentRow()));
        QVERIFY(!p.isModified());
        QCOMPARE(p.text(u"用户编号"), QStringLiteral("1"));
        QCOMPARE(p.text(u"溯枫帐号"), QStringLiteral("否"));
        QCOMPARE(p.text(u"同城交易"), QStringLiteral("是"));
        QCOMPARE(p.text(u"用途"), QString());
        QCOMPARE(p.text(u"大额实时"), QStringLiteral("否"));

        fill(QStringLiteral("是"), QStringLiteral("否"), QString(), QString());
        p.setValue(u"用途", QStringLiteral("货款"));
        QCOMPARE(store(), QString());
        QCOMPARE(dm->LastUse, QStringLiteral("货款"));
        p.append();
        QCOMPARE(p.text(u"用途"), QStringLiteral("货款")); // the last purpose carries over
        QVERIFY(!p.isModified());
    }

    void checks_data()
    {
        QTest::addColumn<QString>("sameCity");
        QTest::addColumn<QString>("sameBank");
        QTest::addColumn<QString>("bank");
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("largeValue");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("storedBank");
        QTest::addColumn<QString>("storedPlace");

        const QString m1 = QStringLiteral("异地溯枫银行必需填写收款银行");
        const QString m2 = QStringLiteral("非同城交易且非溯枫帐号请输入汇入地点或收款银行");
        const QString m3 = QStringLiteral("溯枫帐号不需选择大额实时");
        const QString y = QStringLiteral("是");
        const QString n = QStringLiteral("否");
        QTest::newRow("defaults, bank empty: stored, place emptied") << y << n << ""
                                                                     << "北京" << n << ""
                                                                     << ""
                                                                     << "";
        QTest::newRow("other city, same bank, no bank") << n << y << ""
                                                        << "上海" << n << m1 << ""
                                                        << "";
        QTest::newRow("other city, same bank, blank bank is not empty") << n << y << " "
                                                                        << "上海" << n << ""
                                                                        << " "
                                                                        << "";
        QTest::newRow("neither, place of blanks") << n << n << "工商银行"
                                                  << "   " << n << m2 << ""
                                                  << "";
        QTest::newRow("neither, bank of blanks") << n << n << "  "
                                                 << "上海" << n << m2 << ""
                                                 << "";
        QTest::newRow("neither, place and bank") << n << n << "工商银行"
                                                 << "上海" << n << ""
                                                 << "工商银行"
                                                 << "上海";
        QTest::newRow("same city and same bank, no bank") << y << y << ""
                                                          << "某地" << n << ""
                                                          << " "
                                                          << "";
        QTest::newRow("same bank with large value") << n << y << "工商银行"
                                                    << "上海" << y << m3 << ""
                                                    << "";
        QTest::newRow("same city, large value") << y << n << ""
                                                << "" << y << ""
                                                << ""
                                                << "";
        QTest::newRow("empty flags count as neither") << ""
                                                      << ""
                                                      << "工商银行"
                                                      << "" << n << m2 << ""
                                                      << "";
        QTest::newRow("empty same-city is not 否") << "" << y << ""
                                                   << "上海" << n << ""
                                                   << ""
                                                   << "";
    }

    void checks()
    {
        QFETCH(QString, sameCity);
        QFETCH(QString, sameBank);
        QFETCH(QString, bank);
        QFETCH(QString, place);
        QFETCH(QString, largeValue);
        QFETCH(QString, message);
        QFETCH(QString, storedBank);
        QFETCH(QString, storedPlace);
        Table& p = pay();
        fill(sameCity, sameBank, bank, place, largeValue);
        QCOMPARE(store(), message);
        if (!message.isEmpty()) {
            // Refused: still in editing with everything typed, nothing stored.
            QCOMPARE(p.state(), Table::State::Insert);
            QCOMPARE(p.text(u"收款单位"), QStringLiteral("某公司"));
            QCOMPARE(p.text(u"收款银行"), bank);
            QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 0);
            return;
        }
        QCOMPARE(p.state(), Table::State::Browse);
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 1);
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select 收款银行 from Payment")).toString(),
                 storedBank);
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select 汇入地点 from Payment")).toString(),
                 storedPlace);
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select 用户编号 from Payment")).toString(),
                 QStringLiteral("1"));
    }

    void placeStaysEmptiedAfterTheLargeValueRefusal()
    {
        Table& p = pay();
        fill(QStringLiteral("是"), QStringLiteral("是"), QString(), QStringLiteral("杭州"),
             QStringLiteral("是"));
        QCOMPARE(store(), QStringLiteral("溯枫帐号不需选择大额实时"));
        // Steps 3 and 4 ran before the refusal; their changes stay in the row.
        QCOMPARE(p.text(u"汇入地点"), QString());
        QCOMPARE(p.text(u"收款银行"), QStringLiteral(" "));
        p.setValue(u"大额实时", QStringLiteral("否"));
        QCOMPARE(store(), QString());
        QCOMPARE(count(QStringLiteral("select count(*) from Payment where 汇入地点 = ''")), 1);
    }

    void purposesAreLearnedOnce()
    {
        Table& p = pay();
        const QStringList purposes = {QStringLiteral("货款"),
                                      QStringLiteral("货款"),
                                      QStringLiteral("货款 "),
                                      QStringLiteral("   "),
                                      QStringLiteral("Rent"),
                                      QStringLiteral("rent"),
                                      QString()};
        for (const QString& purpose : purposes) {
            fill(QStringLiteral("是"), QStringLiteral("否"), QString(), QString());
            p.setValue(u"收款帐号", QStringLiteral("A1"));
            p.setValue(u"用途", purpose);
            QCOMPARE(store(), QString());
            QCOMPARE(dm->LastUse, purpose);
            p.append();
        }
        const QList<QVariantList> learned =
            queryRows(ws->path(), QStringLiteral("select 用途 from Use order by rowid"));
        QStringList texts;
        for (const QVariantList& r : learned)
            texts << r.first().toString();
        QCOMPARE(texts, QStringList({"货款", "货款 ", "Rent", "rent"}));
    }

    void newPayeeAnsweredNo()
    {
        si.answers.enqueue(false);
        fill(QStringLiteral("是"), QStringLiteral("否"), QString(), QString());
        const int nextCalls = int(buttons.next.size());
        QCOMPARE(store(), QString());
        QCOMPARE(si.asked, QStringList{kNewAccountQuestion});
        QCOMPARE(count(QStringLiteral("select count(*) from Company")), 0);
        QCOMPARE(int(buttons.next.size()), nextCalls); // Next keeps its state
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 1);
    }

    void newPayeeAnsweredYes()
    {
        si.answers.enqueue(true);
        fill(QStringLiteral("否"), QStringLiteral("否"), QStringLiteral("建设银行"),
             QStringLiteral("上海"), QStringLiteral("是"), QStringLiteral("4367420011"));
        QCOMPARE(store(), QString());
        const QList<QVariantList> rows = queryRows(
            ws->path(),
            QStringLiteral(
                "select 收款帐号, 收款银行, 收款单位, 汇入地点, 溯枫帐号, 自定编号, 备注, 账号分类 "
                "from Company"));
        QCOMPARE(rows.size(), 1);
        const QVariantList& r = rows.first();
        QCOMPARE(r.at(0).toString(), QStringLiteral("4367420011"));
        QCOMPARE(r.at(1).toString(), QStringLiteral("建设银行"));
        QCOMPARE(r.at(2).toString(), QStringLiteral("某公司"));
        QCOMPARE(r.at(3).toString(), QStringLiteral("上海"));
        QCOMPARE(r.at(4).toString(), QStringLiteral("否"));
        QVERIFY(r.at(5).toString().isEmpty());
        QVERIFY(r.at(6).toString().isEmpty());
        QVERIFY(r.at(7).toString().isEmpty()); // unclassified
        QCOMPARE(
            count(QStringLiteral("select count(*) from Company where 账号分类 = '' and 自定编号 "
                                 "is null")),
            1);
        QVERIFY(!buttons.next.isEmpty());
        QCOMPARE(buttons.next.last(), !pay().eof());

        // The same account again: no question.
        pay().append();
        fill(QStringLiteral("是"), QStringLiteral("否"), QString(), QString(), QStringLiteral("否"),
             QStringLiteral("4367420011"));
        QCOMPARE(store(), QString());
        QCOMPARE(si.asked.size(), 1);
    }

    void knownPayeeHiddenByAFilterIsNotOfferedAgain()
    {
        execSql(ws->path(),
                QStringLiteral("insert into Company(收款帐号, 账号分类) values ('777', '5')"));
        dm->ATCompany->requery();
        dm->ATCompany->setFilterText(QStringLiteral("账号分类 = 9"));
        dm->ATCompany->setFiltered(true);
        fill(QStringLiteral("是"), QStringLiteral("否"), QString(), QString(), QStringLiteral("否"),
             QStringLiteral("777"));
        QCOMPARE(store(), QString());
        QVERIFY(si.asked.isEmpty());
    }

    void blankAccountIsNotOffered()
    {
        fill(QStringLiteral("是"), QStringLiteral("否"), QString(), QString(), QStringLiteral("否"),
             QString());
        QCOMPARE(store(), QString());
        QVERIFY(si.asked.isEmpty());
    }

    void automaticNewInstruction()
    {
        for (int i = 0; i < 3; ++i)
            execSql(ws->path(),
                    QStringLiteral("insert into Payment(收款帐号, 用户编号) values (?, '1')"), {i});
        Table& p = pay();
        p.requery();
        QCOMPARE(p.recordCount(), 3);
        QVERIFY(!p.isEditing());
        QCOMPARE(buttons.previous.last(), false); // at the beginning

        p.moveTo(2); // a click on the last row
        QVERIFY(!p.isEditing());
        QCOMPARE(buttons.previous.last(), true);

        p.last(); // the last-row button
        QVERIFY(p.isNewRow(p.currentRow()));
        QCOMPARE(p.rowCount(), 4);
        QCOMPARE(p.text(u"同城交易"), QStringLiteral("是"));

        p.prior(); // leaving it untouched drops it
        QVERIFY(!p.isEditing());
        QCOMPARE(p.rowCount(), 3);
        QCOMPARE(count(QStringLiteral("select count(*) from Payment")), 3);

        p.moveTo(2);
        p.next(); // stepping forward from the last one
        QVERIFY(p.isNewRow(p.currentRow()));
        p.cancel();
        QVERIFY(!p.isEditing());
        QCOMPARE(p.rowCount(), 3);
    }

    void rowNumbersPastTheDeclaredRange()
    {
        execSql(ws->path(),
                QStringLiteral(
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 10005) "
                    "INSERT INTO Payment(收款帐号, 用户编号) SELECT i, '1' FROM n"));
        Table& p = pay();
        p.requery();
        p.moveTo(10002);
        QCOMPARE(p.text(u"no"), QStringLiteral("10003"));
    }

    void deleteClassificationAnsweredNo()
    {
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('供应商')"));
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('客户')"));
        execSql(ws->path(),
                QStringLiteral("insert into Company(收款帐号, 账号分类) values ('A', '1')"));
        execSql(ws->path(),
                QStringLiteral("insert into Company(收款帐号, 账号分类) values ('B', '2')"));
        Table& ct = *dm->ATCompanyType;
        ct.requery();
        si.answers.enqueue(false);
        ct.remove();
        QCOMPARE(si.asked, QStringList{QStringLiteral(
                               "您正要删除一个账户分类，是否要将该分类的账户转移到其它分类中？")});
        QCOMPARE(count(QStringLiteral("select count(*) from CompanyType")), 1);
        // Unclassified is the empty text, which the picker's filter 账号分类='' finds.
        QCOMPARE(count(QStringLiteral("select count(*) from Company where 账号分类 = '' and "
                                      "收款帐号 = 'A'")),
                 1);
        QCOMPARE(querySingle(ws->path(),
                             QStringLiteral("select 账号分类 from Company where 收款帐号 = 'B'"))
                     .toString(),
                 QStringLiteral("2"));
    }

    void deleteClassificationMovingTheAccounts()
    {
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('供应商')"));
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('客户')"));
        execSql(ws->path(),
                QStringLiteral("insert into Company(收款帐号, 账号分类) values ('A', '1')"));
        Table& ct = *dm->ATCompanyType;
        ct.requery();
        si.answers.enqueue(true);
        // First the same class (refused with a notice), then the other one.
        si.picks.enqueue([&] { return 1; });
        si.picks.enqueue([&] {
            ct.moveTo(1);
            return 1;
        });
        ct.remove();
        QCOMPARE(si.pickerShown, 2);
        QCOMPARE(si.notices, QStringList{QStringLiteral("请选择要转移到的其它分类")});
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select 账号分类 from Company")).toString(),
                 QStringLiteral("2"));
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select type from CompanyType")).toString(),
                 QStringLiteral("客户"));
        // The accounts' classifications as they were are in the backup taken first.
        const QList<BackupInfo> backups = listBackups(ws->path());
        QCOMPARE(backups.size(), 1);
        QCOMPARE(backups.first().reason, QStringLiteral("delete-classification"));
        QCOMPARE(querySingle(backups.first().path, QStringLiteral("select 账号分类 from Company"))
                     .toString(),
                 QStringLiteral("1"));
    }

    void deleteClassificationCancelledKeepsEverything()
    {
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('供应商')"));
        execSql(ws->path(),
                QStringLiteral("insert into Company(收款帐号, 账号分类) values ('A', '1')"));
        Table& ct = *dm->ATCompanyType;
        ct.requery();
        // The only classification: the picker offers only it; choosing it is refused,
        // then the clerk cancels.
        si.answers.enqueue(true);
        si.picks.enqueue([] { return 1; });
        si.picks.enqueue([] { return 2; });
        QVERIFY_THROWS_EXCEPTION(AbortError, ct.remove());
        QCOMPARE(si.notices, QStringList{QStringLiteral("请选择要转移到的其它分类")});
        QCOMPARE(count(QStringLiteral("select count(*) from CompanyType")), 1);
        QCOMPARE(querySingle(ws->path(), QStringLiteral("select 账号分类 from Company")).toString(),
                 QStringLiteral("1"));
        QCOMPARE(ct.recordCount(), 1);
        QCOMPARE(ct.text(u"type"), QStringLiteral("供应商"));
    }

    void deleteClassificationWhenTheMoveFails()
    {
        execSql(ws->path(), QStringLiteral("insert into CompanyType(type) values ('供应商')"));
        Table& ct = *dm->ATCompanyType;
        ct.requery();
        execSql(ws->path(), QStringLiteral("drop table Company"));
        si.answers.enqueue(false);
        QVERIFY_THROWS_EXCEPTION(AbortError, ct.remove());
        QCOMPARE(si.notices, QStringList{QStringLiteral("数据库操作失败！")});
        QCOMPARE(count(QStringLiteral("select count(*) from CompanyType")), 1);
    }

    void duplicateClassificationName()
    {
        Table& ct = *dm->ATCompanyType;
        ct.append();
        ct.setValue(u"type", QStringLiteral("供应商"));
        ct.post();
        ct.append();
        ct.setValue(u"type", QStringLiteral("供应商"));
        QVERIFY_THROWS_EXCEPTION(AbortError, ct.post());
        QCOMPARE(si.notices, QStringList{QStringLiteral("出错信息：该分类已存在")});
        QCOMPARE(ct.state(), Table::State::Insert);
        QCOMPARE(ct.text(u"type"), QStringLiteral("供应商"));
        ct.setValue(u"type", QStringLiteral("客户"));
        ct.post();

        // Renaming to another's name: the same notice, the rename stays open.
        ct.edit();
        ct.setValue(u"type", QStringLiteral("供应商"));
        QVERIFY_THROWS_EXCEPTION(AbortError, ct.post());
        QCOMPARE(si.notices.size(), 2);
        QCOMPARE(ct.state(), Table::State::Edit);
        ct.cancel();
        QCOMPARE(count(QStringLiteral("select count(*) from CompanyType")), 2);

        // A name that differs only in letter case is the same name to a clerk.
        ct.append();
        ct.setValue(u"type", QStringLiteral("VIP"));
        ct.post();
        ct.append();
        ct.setValue(u"type", QStringLiteral("vip"));
        QVERIFY_THROWS_EXCEPTION(AbortError, ct.post());
        QCOMPARE(si.notices.last(), QStringLiteral("出错信息：该分类已存在"));
        ct.cancel();
        ct.last();
        ct.edit();
        ct.setValue(u"type", QStringLiteral("Vip")); // renaming itself is fine
        ct.post();
        QCOMPARE(count(QStringLiteral("select count(*) from CompanyType")), 3);
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
