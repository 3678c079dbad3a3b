#include "windows/selcompany.h"

#include "controls/dbgrid.h"
#include "controls/dialogbuttons.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/data/names.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace bankprep {

TFrmSelCompany::TFrmSelCompany(TDataModule2& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("FrmSelCompany"));
    setWindowTitle(QStringLiteral("选择收款人"));
    resize(573, 347);
    QFont f(QStringLiteral("宋体"));
    setFont(f);
    Label1 = new QLabel(QStringLiteral("账户分类："), this);
    ComboType = new QComboBox(this);
    ComboType->setObjectName(QStringLiteral("ComboType"));
    ComboType->setEditable(false);
    // Qt's box finds a classification by the characters an input method gives, once the
    // input method may serve it (a box without typing turns it off).
    ComboType->setAttribute(Qt::WA_InputMethodEnabled);
    ComboType->setMinimumWidth(160);
    auto column = [](const QString& field, int width, const char* title) {
        GridColumn c;
        c.field = field;
        c.widthChars = width;
        c.title = QString::fromUtf8(title);
        return c;
    };
    DBGrid1 = new DBGrid(
        dm.DSCompany,
        {column(col::PayeeAccount, 20, "收款帐号"), column(col::TypeOfPayee, 10, "账号分类"),
         column(col::PayeeName, 20, "收款单位"), column(col::Remark, 10, "备注"),
         column(col::OwnBank, 4, "溯枫帐号"), column(col::PayeeBank, 16, "收款银行"),
         column(col::PayeePlace, 10, "汇入地点")},
        this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setReadOnly(true);
    DBGrid1->horizontalHeader()->setSectionsClickable(true);
    const DialogButtons buttons =
        makeDialogButtons(this, QStringLiteral("确认"), QStringLiteral("取消"));
    BtnOk = buttons.ok;
    BtnCancel = buttons.cancel;

    auto* top = new QHBoxLayout;
    top->addWidget(Label1);
    top->addWidget(ComboType);
    top->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(DBGrid1, 1);
    layout->addLayout(buttonRow(buttons));

    connect(ComboType, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            ComboTypeChange();
    });
    connect(DBGrid1->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        DBGrid1TitleClick(DBGrid1->tableModel()->column(section).field);
    });
    connect(DBGrid1, &QAbstractItemView::doubleClicked, this, [this] { DBGrid1DblClick(); });
    connect(BtnOk, &QPushButton::clicked, this, [this] {
        BtnOkClick();
        done(1);
    });
    connect(BtnCancel, &QPushButton::clicked, this, &TFrmSelCompany::reject);
}

int TFrmSelCompany::run()
{
    FormShow();
    return Modal::exec(this);
}

void TFrmSelCompany::FormShow()
{
    m_filling = true;
    ComboType->clear();
    TypeIdList.clear();
    ComboType->addItem(QStringLiteral("全部"));
    TypeIdList << QStringLiteral("0");
    ComboType->addItem(QStringLiteral("未归类"));
    TypeIdList << QString();
    guarded(this, [this] {
        for (const TDataModule2::CompanyTypeEntry& type : m_dm.companyTypeList()) {
            TypeIdList << type.id;
            ComboType->addItem(type.name);
        }
    });
    // The classification confirmed last time; one deleted since falls back to "全部".
    int index = 0;
    if (!LastTypeId.isEmpty()) {
        const qsizetype k = TypeIdList.indexOf(LastTypeId);
        index = k >= 0 ? int(k) : 0;
    }
    ComboType->setCurrentIndex(index);
    m_filling = false;
    ComboTypeChange();
}

void TFrmSelCompany::ComboTypeChange()
{
    const int i = ComboType->currentIndex();
    guarded(this, [&] {
        Table& company = *m_dm.ATCompany;
        company.setFiltered(false);
        if (i <= 0)
            return;
        const QString id = TypeIdList.value(i);
        // The quotes make it a text comparison. "未归类" also lists accounts whose
        // classification holds no value at all.
        QString filter = QStringLiteral("账号分类='") +
                         QString(id).replace(QLatin1Char('\''), QLatin1String("''")) +
                         QLatin1Char('\'');
        if (id.isEmpty())
            filter += QStringLiteral(" OR 账号分类 IS NULL");
        company.setFilterText(filter);
        company.setFiltered(true);
    });
}

void TFrmSelCompany::DBGrid1TitleClick(const QString& fieldName)
{
    const QString field = fieldName == col::TypeOfPayee ? col::Classification : fieldName;
    guarded(this, [&] { m_dm.ATCompany->setSortField(field); });
}

void TFrmSelCompany::DBGrid1DblClick()
{
    if (m_dm.ATCompany->recordCount() == 0)
        return;
    BtnOkClick();
    done(1);
}

void TFrmSelCompany::BtnOkClick()
{
    const int i = ComboType->currentIndex();
    if (i >= 0)
        LastTypeId = TypeIdList.value(i);
}

void TFrmSelCompany::reject()
{
    done(2);
}

} // namespace bankprep
