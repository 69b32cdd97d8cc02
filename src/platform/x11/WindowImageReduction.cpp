// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "WindowImageReduction.h"

#include <QPainter>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace norvane {

namespace {

// One output row from two input rows: each output pixel is the rounded mean of a 2x2 block, per byte.
void halveRow(const quint32* top, const quint32* bottom, quint32* out, int width, quint32 orMask) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i mask = _mm_set1_epi32(int(orMask));
    for (; x + 4 <= width; x += 4) {
        const auto* a = reinterpret_cast<const __m128i*>(top + 2 * x);
        const auto* b = reinterpret_cast<const __m128i*>(bottom + 2 * x);
        const __m128i v0 = _mm_avg_epu8(_mm_loadu_si128(a), _mm_loadu_si128(b));
        const __m128i v1 = _mm_avg_epu8(_mm_loadu_si128(a + 1), _mm_loadu_si128(b + 1));
        const __m128 even =
            _mm_shuffle_ps(_mm_castsi128_ps(v0), _mm_castsi128_ps(v1), _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 odd =
            _mm_shuffle_ps(_mm_castsi128_ps(v0), _mm_castsi128_ps(v1), _MM_SHUFFLE(3, 1, 3, 1));
        const __m128i mean = _mm_avg_epu8(_mm_castps_si128(even), _mm_castps_si128(odd));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(mean, mask));
    }
#endif
    for (; x < width; ++x) {
        const quint32 p0 = top[2 * x], p1 = top[2 * x + 1], p2 = bottom[2 * x], p3 = bottom[2 * x + 1];
        quint32 mean = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const quint32 sum = ((p0 >> shift) & 0xff) + ((p1 >> shift) & 0xff) + ((p2 >> shift) & 0xff) +
                                ((p3 >> shift) & 0xff);
            mean |= ((sum + 2) / 4) << shift;
        }
        out[x] = mean | orMask;
    }
}

QImage halve(const QImage& image) {
    QImage out(image.width() / 2, image.height() / 2, image.format());
    if (out.isNull())
        return out;
    const quint32 orMask = image.format() == QImage::Format_RGB32 ? 0xff000000u : 0u;
    for (int y = 0; y < out.height(); ++y) {
        halveRow(reinterpret_cast<const quint32*>(image.constScanLine(2 * y)),
                 reinterpret_cast<const quint32*>(image.constScanLine(2 * y + 1)),
                 reinterpret_cast<quint32*>(out.scanLine(y)), out.width(), orMask);
    }
    return out;
}

} // namespace

QImage reduceWindowImage(const QImage& image, QSize target) {
    if (image.isNull() || target.isEmpty())
        return {};
    target = target.boundedTo(image.size());
    QImage current = image;
    if (current.format() != QImage::Format_RGB32 && current.format() != QImage::Format_ARGB32_Premultiplied)
        current = current.convertToFormat(current.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                    : QImage::Format_RGB32);
    if (current.size() == target)
        return current;
    bool halved = false;
    while (current.width() >= 2 * target.width() && current.height() >= 2 * target.height()) {
        current = halve(current);
        if (current.isNull())
            return {};
        halved = true;
    }
    if (current.size() == target)
        return current;

    // What is left is less than a halving; bilinear filtering takes every source pixel into account.
    QImage out(target, current.format());
    if (out.isNull())
        return {};
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, 0, target.width(), target.height()), current);
    painter.end();
    if (out.format() == QImage::Format_RGB32 && !halved) {
        // Source mode keeps the zero top byte of X's depth-24 pixels (halving has already set it).
        for (int y = 0; y < out.height(); ++y) {
            auto* row = reinterpret_cast<quint32*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x)
                row[x] |= 0xff000000u;
        }
    }
    return out;
}

} // namespace norvane
