#pragma once

// What the commands of bankprep-cli share: the exit statuses, the refusal that ends a
// command, standard error, the options of a command and the login.

#include <QPair>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <optional>

namespace bankprep {
class TDataModule2;
}

namespace bankprep::cli {

constexpr int kOk = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;

struct Failure
{
    int status;
    QString message;
};

QTextStream& err();

// Options of one command: "--name value" pairs (and "-o value").
class Options
{
public:
    Options(const QStringList& args, const QStringList& known, const QStringList& flags = {})
    {
        for (qsizetype i = 0; i < args.size(); ++i) {
            const QString& a = args.at(i);
            if (flags.contains(a)) {
                m_flags << a;
                continue;
            }
            if (!known.contains(a))
                throw Failure{kUsage, QStringLiteral("未知的选项：%1").arg(a)};
            if (i + 1 >= args.size())
                throw Failure{kUsage, QStringLiteral("选项 %1 缺少值").arg(a)};
            m_values.append({a, args.at(i + 1)});
            ++i;
        }
    }
    std::optional<QString> value(const QString& name) const
    {
        std::optional<QString> v;
        for (const auto& [k, val] : m_values) {
            if (k == name)
                v = val;
        }
        return v;
    }
    QStringList values(const QString& name) const
    {
        QStringList out;
        for (const auto& [k, val] : m_values) {
            if (k == name)
                out << val;
        }
        return out;
    }
    bool flag(const QString& name) const { return m_flags.contains(name); }
    QString required(const QString& name) const
    {
        const auto v = value(name);
        if (!v || v->isEmpty())
            throw Failure{kUsage, QStringLiteral("缺少选项 %1").arg(name)};
        return *v;
    }

private:
    QList<QPair<QString, QString>> m_values;
    QStringList m_flags;
};

// Opens the database and logs in as user "1", as the desktop program's login does.
// Only the user table and the tables the command works on are read: a command on two
// payroll lines does not wait for a million payment instructions.
// The password's hash takes its time on a thread of its own while the tables are read
// and `meanwhile` reads what the command needs (the payroll file); a refusal of that
// reading is reported after the password's, as when it came after the login.
void login(TDataModule2& dm, const QString& dbPath, const QStringList& tables = {},
           const std::function<void()>& meanwhile = {});

// Refuses an account that is none of the current user's payer accounts (exit status 2,
// as the desktop program's "请选择支付帐号").
void requirePayerAccount(TDataModule2& dm, const QString& payer);

// Card numbers that look wrong: a warning on standard error, the command goes on.
void warnCards(const QStringList& warnings);

// A command without options; one with a single file argument.
void noOptions(const QStringList& args);
QString onlyArgument(const QStringList& args, const QString& usage);

} // namespace bankprep::cli
