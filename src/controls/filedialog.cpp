#include "controls/filedialog.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QStyle>

namespace bankprep {

namespace {

// Icons and type names from the file name only: no file is ever opened or read.
class NameOnlyIconProvider : public QAbstractFileIconProvider
{
public:
    NameOnlyIconProvider()
        : m_folder(QApplication::style()->standardIcon(QStyle::SP_DirIcon)),
          m_file(QApplication::style()->standardIcon(QStyle::SP_FileIcon))
    {
    }

    QIcon icon(IconType type) const override { return type == Folder ? m_folder : m_file; }

    QIcon icon(const QFileInfo& info) const override { return info.isDir() ? m_folder : m_file; }

    QString type(const QFileInfo& info) const override
    {
        if (info.isDir())
            return QStringLiteral("文件夹");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("文件")
                                : suffix.toUpper() + QStringLiteral(" 文件");
    }

private:
    QIcon m_folder;
    QIcon m_file;
};

QString& startFolder()
{
    static QString folder;
    return folder;
}

} // namespace

void setFileDialogFolder(const QString& folder)
{
    startFolder() = folder;
}

QFileDialog* createFileDialog(QWidget* parent, const QString& objectName)
{
    // One provider for the whole run (dialogs live as long as the program).
    static NameOnlyIconProvider* provider = new NameOnlyIconProvider;
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(objectName);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    // Set before the event loop runs again: the listing of the folder is gathered then.
    dialog->setIconProvider(provider);
    if (!startFolder().isEmpty())
        dialog->setDirectory(startFolder());
    return dialog;
}

} // namespace bankprep
