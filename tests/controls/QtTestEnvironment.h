#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <functional>

// Helpers shared by the widget tests. A QApplication exists for the whole run
// (created by QtTestEnvironment.cpp before the first test).

// A parent that paints itself in one colour, so a grabbed child shows where
// it drew nothing.
class SolidParent : public QWidget {
public:
    explicit SolidParent(QColor colour) : fColour(colour) {}
    void setColour(QColor colour) {
        fColour = colour;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QColor fColour;
};

// Columns of `image` holding a pixel of exactly `colour`; -1 when none.
int firstColumnWith(const QImage &image, QColor colour);
int lastColumnWith(const QImage &image, QColor colour);
int countPixels(const QImage &image, QColor colour);
