#pragma once

#include <QPixmap>
#include <QWidget>

namespace dawdlex {

// A box that draws one picture at its own size from the top-left corner, clipped to the box, and reports a
// click, by the mouse or, when it has the keyboard focus, by Space or Enter. It owns only its copy of the
// picture; what a click does is up to whoever listens.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setPicture(const QPixmap& picture);
    QPixmap picture() const { return m_picture; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPixmap m_picture;
    bool m_pressed = false;
};

} // namespace dawdlex
