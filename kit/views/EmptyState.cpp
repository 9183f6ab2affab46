#include "views/EmptyState.h"

#include "icons/SymbolIcons.h"
#include "views/Style.h"

#include <QVBoxLayout>

namespace ostrel {

EmptyState::EmptyState(const QString &symbol, const QString &text, int symbolSize, QWidget *parent)
    : QWidget(parent), m_symbolSize(symbolSize), m_icon(new QLabel(this)), m_text(new QLabel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    layout->addWidget(m_text, 0, Qt::AlignHCenter);
    layout->addStretch();
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::WindowText, style::secondary(palette));
    m_text->setPalette(palette);
    setContent(symbol, text);
}

void EmptyState::setContent(const QString &symbol, const QString &text)
{
    m_symbol = symbol;
    m_icon->setPixmap(symbolIcon(symbol, style::tertiary(palette())).pixmap(m_symbolSize, m_symbolSize));
    m_text->setText(text);
}

}  // namespace ostrel
