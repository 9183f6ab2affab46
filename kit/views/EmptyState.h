#pragma once

#include <QLabel>
#include <QWidget>

namespace ostrel {

// A symbol above a line of text, centred in all the space there is.
class EmptyState : public QWidget {
    Q_OBJECT
public:
    EmptyState(const QString &symbol, const QString &text, int symbolSize, QWidget *parent = nullptr);
    void setContent(const QString &symbol, const QString &text);
    QString symbol() const { return m_symbol; }
    QString text() const { return m_text->text(); }

private:
    QString m_symbol;
    int m_symbolSize;
    QLabel *m_icon;
    QLabel *m_text;
};

}  // namespace ostrel
