#include "QtTestEnvironment.h"

#include <QApplication>
#include <QPainter>

#include <gtest/gtest.h>

#include <memory>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "controls_tests";
        static char *argv[] = {name, nullptr};
        fApp = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { fApp.reset(); }

private:
    std::unique_ptr<QApplication> fApp;
};

// gtest takes ownership of registered environments.
[[maybe_unused]] auto *const environment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<QtEnvironment>().release());

bool same(QRgb pixel, QColor colour) {
    return QColor::fromRgba(pixel) == colour;
}

} // namespace

void SolidParent::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), fColour);
}

int firstColumnWith(const QImage &image, QColor colour) {
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (same(image.pixel(x, y), colour))
                return x;
    return -1;
}

int lastColumnWith(const QImage &image, QColor colour) {
    for (int x = image.width() - 1; x >= 0; --x)
        for (int y = 0; y < image.height(); ++y)
            if (same(image.pixel(x, y), colour))
                return x;
    return -1;
}

int countPixels(const QImage &image, QColor colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += same(image.pixel(x, y), colour) ? 1 : 0;
    return count;
}
