#include "print/reportpainter.h"

#include "core/data/dberror.h"
#include "core/export/filewriter.h"
#include "core/export/printreport.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <numeric>

namespace bankprep {

namespace {

constexpr int kWrap = Qt::TextWrapAnywhere;

QFont reportFont(double points, bool bold = false)
{
    // Families with Chinese glyphs first; the platform's fallback covers the rest.
    QFont f;
    f.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
                   QStringLiteral("Noto Sans SC"), QStringLiteral("SimSun"),
                   QStringLiteral("Sans Serif")});
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// Where everything goes on a page, in the device's pixels.
class Layout
{
public:
    Layout(const PrintReport& report, QPaintDevice& device, QRectF page)
        : m_report(report), m_device(device), m_page(page), m_title(reportFont(16, true)),
          m_text(reportFont(9)), m_bold(reportFont(9, true)), m_small(reportFont(8))
    {
        const double mm = device.logicalDpiY() / 25.4;
        m_pad = 1.2 * mm;
        m_gap = 3 * mm;
        const int weights = std::accumulate(report.columns.begin(), report.columns.end(), 0,
                                            [](int s, const auto& c) { return s + c.weight; });
        double x = page.left();
        for (const auto& c : report.columns) {
            const double w = page.width() * c.weight / weights;
            m_columns << QRectF(x, 0, w, 0);
            x += w;
        }
    }

    double rowHeight(const QStringList& cells, const QFont& font) const
    {
        const QFontMetricsF fm(font, &m_device);
        double h = fm.height();
        for (int i = 0; i < cells.size() && i < m_columns.size(); ++i) {
            const QRectF room(0, 0, m_columns[i].width() - 2 * m_pad, 1e9);
            h = std::max(h, fm.boundingRect(room, kWrap, cells[i]).height());
        }
        return h + 2 * m_pad;
    }

    double headerHeight() const
    {
        return QFontMetricsF(m_title, &m_device).height() + m_gap +
               QFontMetricsF(m_text, &m_device).height() + m_gap + headingsHeight();
    }
    double headingsHeight() const { return rowHeight(headings(), m_bold); }
    double footerHeight() const { return QFontMetricsF(m_small, &m_device).height() + m_gap; }
    double closingHeight() const
    {
        const double line = QFontMetricsF(m_text, &m_device).height();
        return rowHeight(totalRow(), m_bold) + m_gap + 2 * line + 3 * m_gap + line;
    }
    double bodyBottom() const { return m_page.bottom() - footerHeight(); }

    QStringList headings() const
    {
        QStringList h;
        for (const auto& c : m_report.columns)
            h << c.heading;
        return h;
    }
    QStringList totalRow() const
    {
        QStringList cells(m_report.columns.size());
        if (cells.size() > 1)
            cells[1] = QStringLiteral("合计"); // under the first text after the line number
        for (int i = 0; i < m_report.columns.size(); ++i) {
            if (m_report.columns[i].amount)
                cells[i] = m_report.total.toDisplayString();
        }
        return cells;
    }

    double drawHeader(QPainter& p) const
    {
        double y = m_page.top();
        p.setFont(m_title);
        const double th = QFontMetricsF(m_title, &m_device).height();
        p.drawText(QRectF(m_page.left(), y, m_page.width(), th), Qt::AlignCenter, m_report.title);
        y += th + m_gap;
        p.setFont(m_text);
        const double fh = QFontMetricsF(m_text, &m_device).height();
        const double part = m_page.width() / std::max<qsizetype>(1, m_report.facts.size());
        for (int i = 0; i < m_report.facts.size(); ++i) {
            const int align = i == 0                             ? Qt::AlignLeft
                              : (i + 1 == m_report.facts.size()) ? Qt::AlignRight
                                                                 : Qt::AlignHCenter;
            p.drawText(QRectF(m_page.left() + i * part, y, part, fh), align | Qt::AlignVCenter,
                       m_report.facts[i]);
        }
        y += fh + m_gap;
        return drawRow(p, y, headings(), m_bold, true);
    }

    // Draws a row of the table at `y` (of height `h` when known) and returns its bottom.
    double drawRow(QPainter& p, double y, const QStringList& cells, const QFont& font,
                   bool heading = false, double h = -1) const
    {
        if (h < 0)
            h = rowHeight(cells, font);
        p.setFont(font);
        for (int i = 0; i < m_columns.size(); ++i) {
            const QRectF cell(m_columns[i].left(), y, m_columns[i].width(), h);
            if (heading)
                p.fillRect(cell, QColor(230, 230, 230));
            p.drawRect(cell);
            int align = Qt::AlignVCenter | kWrap;
            align |= heading ? Qt::AlignHCenter
                             : (m_report.columns[i].amount ? Qt::AlignRight : Qt::AlignLeft);
            if (i < cells.size())
                p.drawText(cell.adjusted(m_pad, m_pad, -m_pad, -m_pad), align, cells[i]);
        }
        return y + h;
    }

    void drawClosing(QPainter& p, double y) const
    {
        y = drawRow(p, y, totalRow(), m_bold) + m_gap;
        p.setFont(m_text);
        const double line = QFontMetricsF(m_text, &m_device).height();
        p.drawText(QRectF(m_page.left(), y, m_page.width(), line), Qt::AlignLeft,
                   m_report.totalText());
        y += line;
        p.drawText(QRectF(m_page.left(), y, m_page.width(), line), Qt::AlignLeft,
                   m_report.capitalsText());
        y += line + 3 * m_gap;
        const double part = m_page.width() / std::max<qsizetype>(1, m_report.signatures.size());
        for (int i = 0; i < m_report.signatures.size(); ++i) {
            p.drawText(QRectF(m_page.left() + i * part, y, part, line), Qt::AlignLeft,
                       m_report.signatures[i] + QStringLiteral("：________________"));
        }
    }

    void drawFooter(QPainter& p, int page, int pages) const
    {
        p.setFont(m_small);
        const double h = QFontMetricsF(m_small, &m_device).height();
        p.drawText(QRectF(m_page.left(), m_page.bottom() - h, m_page.width(), h), Qt::AlignCenter,
                   QStringLiteral("第%1页，共%2页").arg(page).arg(pages));
    }

    const QFont& text() const { return m_text; }

private:
    const PrintReport& m_report;
    QPaintDevice& m_device;
    QRectF m_page;
    QFont m_title, m_text, m_bold, m_small;
    QList<QRectF> m_columns;
    double m_pad = 0;
    double m_gap = 0;
};

// The first line of each page; the closing block goes on the page after the last one
// when it does not fit under the last line.
struct Pagination
{
    QList<qsizetype> firstLine;
    bool closingOnOwnPage = false;
    int pages() const { return int(firstLine.size()) + (closingOnOwnPage ? 1 : 0); }
};

Pagination paginate(const PrintReport& report, const Layout& layout, QList<double>& heights)
{
    Pagination result;
    const double top = layout.headerHeight();
    double y = top;
    result.firstLine << 0;
    heights.reserve(report.lines.size());
    for (qsizetype i = 0; i < report.lines.size(); ++i) {
        const double h = layout.rowHeight(report.lines[i], layout.text());
        heights << h;
        // A line taller than a whole page still gets a page of its own, not a loop.
        if (y + h > layout.bodyBottom() && y > top) {
            result.firstLine << i;
            y = top;
        }
        y += h;
    }
    result.closingOnOwnPage = y + layout.closingHeight() > layout.bodyBottom();
    return result;
}

} // namespace

QPageLayout reportPageLayout(const PrintReport& report)
{
    const auto orientation =
        report.columns.size() > 6 ? QPageLayout::Landscape : QPageLayout::Portrait;
    return QPageLayout(QPageSize(QPageSize::A4), orientation, QMarginsF(12, 12, 12, 12),
                       QPageLayout::Millimeter);
}

void paintReport(const PrintReport& report, QPagedPaintDevice& device)
{
    QPainter p;
    if (!p.begin(&device))
        throw DbError(QStringLiteral("无法打印：打印机或文件不可用。"));
    const QRectF page = device.pageLayout().paintRectPixels(device.logicalDpiX());
    const Layout layout(report, device, QRectF(0, 0, page.width(), page.height()));
    QList<double> heights;
    const Pagination pages = paginate(report, layout, heights);
    QPen pen(Qt::black);
    pen.setWidthF(device.logicalDpiX() / 150.0);
    p.setPen(pen);
    for (int n = 0; n < pages.pages(); ++n) {
        if (n > 0)
            device.newPage();
        double y = layout.drawHeader(p);
        if (n < pages.firstLine.size()) {
            const qsizetype end =
                n + 1 < pages.firstLine.size() ? pages.firstLine[n + 1] : report.lines.size();
            for (qsizetype i = pages.firstLine[n]; i < end; ++i)
                y = layout.drawRow(p, y, report.lines[i], layout.text(), false, heights[i]);
        }
        if (n + 1 == pages.pages())
            layout.drawClosing(p, y);
        layout.drawFooter(p, n + 1, pages.pages());
    }
    p.end();
}

QByteArray reportPdf(const PrintReport& report)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(300);
        pdf.setTitle(report.title);
        pdf.setCreator(QStringLiteral("bankprep"));
        pdf.setPageLayout(reportPageLayout(report));
        paintReport(report, pdf);
    }
    return buffer.data();
}

void writeReportPdf(const PrintReport& report, const QString& path)
{
    writeFilesAtomically({path}, {reportPdf(report)});
}

} // namespace bankprep
