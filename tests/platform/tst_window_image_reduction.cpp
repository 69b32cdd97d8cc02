#include "platform/x11/WindowImageReduction.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

using namespace norvane;

namespace {

QImage uniform(QSize size, QImage::Format format, quint32 pixel) {
    QImage image(size, format);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(image.scanLine(y));
        std::fill(row, row + image.width(), pixel);
    }
    return image;
}

bool allPixels(const QImage& image, const std::function<bool(quint32)>& test) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (!test(row[x]))
                return false;
    }
    return true;
}

} // namespace

class TestWindowImageReduction : public QObject {
    Q_OBJECT
private slots:

    void reachesTheTargetSizeKeepingUniformColours_data() {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<quint32>("pixel");
        const auto rgb = [](const char* name, QSize source, QSize target) {
            QTest::newRow(name) << source << target << QImage::Format_RGB32 << 0xff336699u;
        };
        rgb("retina window", QSize(2880, 1800), QSize(1024, 640));
        rgb("less than twice", QSize(2000, 1000), QSize(1024, 512));
        rgb("odd sizes", QSize(2881, 1801), QSize(1024, 640));
        rgb("exactly twice", QSize(2048, 1280), QSize(1024, 640));
        rgb("tall", QSize(700, 4000), QSize(179, 1024));
        rgb("already small", QSize(600, 400), QSize(600, 400));
        rgb("target larger than source", QSize(300, 200), QSize(600, 400));
        // X leaves the unused byte of depth-24 pixels at zero.
        const QSize retina(2880, 1800);
        const auto rgb32 = QImage::Format_RGB32, premultiplied = QImage::Format_ARGB32_Premultiplied;
        QTest::newRow("rgb32, halving only") << retina << QSize(720, 450) << rgb32 << 0x00336699u;
        QTest::newRow("rgb32, rest only") << retina << QSize(2000, 1250) << rgb32 << 0x00336699u;
        QTest::newRow("premultiplied, halving and rest")
            << retina << QSize(1024, 640) << premultiplied << 0x80402000u;
        QTest::newRow("premultiplied, rest only")
            << retina << QSize(2000, 1250) << premultiplied << 0x80402000u;
    }

    void reachesTheTargetSizeKeepingUniformColours() {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        QFETCH(QImage::Format, format);
        QFETCH(quint32, pixel);
        const QImage reduced = reduceWindowImage(uniform(source, format, pixel), target);
        QCOMPARE(reduced.size(), target.boundedTo(source));
        QCOMPARE(reduced.format(), format);
        // RGB32 promises 0xffRRGGBB; X's zero byte must not leak into the reduced picture.
        const quint32 alpha = format == QImage::Format_RGB32 ? 0xff : qAlpha(pixel);
        QVERIFY(allPixels(reduced, [&](quint32 p) { return p == ((alpha << 24) | (pixel & 0xffffff)); }));
    }

    void averagesFineDetailInsteadOfPickingPixels_data() {
        QTest::addColumn<QSize>("target");
        QTest::newRow("halving") << QSize(720, 450);
        QTest::newRow("halving and rest") << QSize(1024, 640);
    }

    void averagesFineDetailInsteadOfPickingPixels() {
        QFETCH(QSize, target);
        // One-pixel checkerboard: a sampler that picks pixels gives black or white, averaging gives grey.
        QImage board(2880, 1800, QImage::Format_RGB32);
        for (int y = 0; y < board.height(); ++y) {
            auto* row = reinterpret_cast<quint32*>(board.scanLine(y));
            for (int x = 0; x < board.width(); ++x)
                row[x] = ((x + y) % 2) ? 0xffffffff : 0xff000000;
        }
        const QImage reduced = reduceWindowImage(board, target);
        QVERIFY(allPixels(reduced, [](quint32 p) { return std::abs(qGreen(p) - 128) <= 3; }));
    }

    void keepsEdgesInPlace() {
        QImage halves(2880, 1800, QImage::Format_RGB32);
        halves.fill(Qt::red);
        QPainter(&halves).fillRect(1440, 0, 1440, 1800, Qt::blue);
        const QImage reduced = reduceWindowImage(halves, QSize(1024, 640));
        QCOMPARE(reduced.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(reduced.pixel(510, 320), qRgb(255, 0, 0));
        QCOMPARE(reduced.pixel(513, 320), qRgb(0, 0, 255));
        QCOMPARE(reduced.pixel(1023, 639), qRgb(0, 0, 255));
    }

    void staysCloseToAnAreaAveragingScale() {
        QImage content(2880, 1800, QImage::Format_RGB32);
        content.fill(Qt::white);
        {
            QPainter painter(&content);
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(24);
            painter.setFont(font);
            for (int y = 30; y < 1200; y += 36)
                painter.drawText(40, y,
                                 QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789"));
            QLinearGradient gradient(0, 1200, 2880, 1800);
            gradient.setColorAt(0, Qt::darkBlue);
            gradient.setColorAt(1, Qt::yellow);
            painter.fillRect(0, 1200, 2880, 600, gradient);
        }
        const QSize target(1024, 640);
        const QImage reduced = reduceWindowImage(content, target);
        const QImage reference = content.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        double total = 0;
        for (int y = 0; y < target.height(); ++y)
            for (int x = 0; x < target.width(); ++x)
                total += std::abs(qGray(reduced.pixel(x, y)) - qGray(reference.pixel(x, y)));
        const double mean = total / (target.width() * target.height());
        QVERIFY2(mean < 3.0, qPrintable(QString::number(mean)));
    }

    void otherFormatsAreConverted() {
        QImage image(2000, 1000, QImage::Format_RGB16);
        image.fill(QColor(255, 0, 0));
        const QImage reduced = reduceWindowImage(image, QSize(1024, 512));
        QCOMPARE(reduced.format(), QImage::Format_RGB32);
        QCOMPARE(reduced.pixel(100, 100), qRgb(255, 0, 0));
        QVERIFY(reduceWindowImage(QImage(), QSize(10, 10)).isNull());
    }
};

QTEST_MAIN(TestWindowImageReduction)
#include "tst_window_image_reduction.moc"
