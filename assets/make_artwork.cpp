// Draws Quavel Logger's artwork: the window icon at every size desktops
// ask for (16 x 16 in 256 colours, as the window uses it), the Windows .ico,
// the About window's 313 x 65 JPEG banner, and the 164 x 314 picture beside
// the Windows installer's first and last pages (a BMP, as NSIS takes it).
//   make-artwork OUTPUT_DIR
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>

#include <cstdio>

namespace {

const QColor kDeepBlue(0x1B, 0x4A, 0x9A);
const QColor kBrightBlue(0x3D, 0x82, 0xE0);
const QColor kOnlineGreen(0x2E, 0xB8, 0x4B);

// The emblem: a log sheet with three lines and a status light on a blue
// tile. Large sizes are drawn smooth; the 16-pixel one pixel by pixel, in
// flat colours, so it stays sharp in 256 colours.
QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    if (size == 16) {
        p.fillRect(QRect(1, 0, 14, 16), kBrightBlue.darker(115));
        p.fillRect(QRect(0, 1, 16, 14), kBrightBlue.darker(115));
        p.fillRect(QRect(2, 2, 9, 11), Qt::white);
        for (int y : {4, 7, 10}) {
            p.fillRect(QRect(4, y, 5, 1), QColor(0x4A, 0x5B, 0x74));
        }
        p.fillRect(QRect(10, 9, 5, 5), Qt::white);
        p.fillRect(QRect(11, 10, 3, 3), kOnlineGreen);
        return image;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);

    QLinearGradient tile(0, 0, 0, 16);
    tile.setColorAt(0, kBrightBlue);
    tile.setColorAt(1, kDeepBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);

    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 2.5, 9, 11));
    p.setBrush(QColor(0x6A, 0x7B, 0x94));
    for (double y : {5.0, 7.5, 10.0}) {
        p.drawRect(QRectF(4, y, 6, 1.2));
    }

    p.setPen(QPen(Qt::white, 1.1));
    p.setBrush(kOnlineGreen);
    p.drawEllipse(QPointF(12, 12), 3.2, 3.2);
    return image;
}

// The sky both pictures stand on, with faint log lines running across it, as
// the program's window shows them: from x left to right, every 9 pixels
// from y top down.
void paintSky(QPainter& p, const QImage& image, qreal left, qreal right, int top) {
    QLinearGradient sky(0, 0, image.width(), image.height());
    sky.setColorAt(0, kDeepBlue);
    sky.setColorAt(1, kBrightBlue);
    p.fillRect(image.rect(), sky);
    p.setPen(QPen(QColor(255, 255, 255, 28), 2));
    for (int y = top; y < image.height(); y += 9) {
        p.drawLine(QPointF(left, y), QPointF(right, y));
    }
}

QImage drawBanner() {
    QImage image(313, 65, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    paintSky(p, image, 70, 305, 8);

    p.drawImage(QRect(10, 8, 48, 48), drawIcon(48));

    QFont title(QStringLiteral("Liberation Sans"));
    title.setPixelSize(26);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(70, 6, 240, 32), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Quavel Logger"));

    QFont subtitle(QStringLiteral("Liberation Sans"));
    subtitle.setPixelSize(12);
    p.setFont(subtitle);
    p.setPen(QColor(0xE4, 0xEE, 0xFF));
    p.drawText(QRect(72, 38, 240, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("every name, every status, every window"));
    return image;
}

// The banner stood on end: the same sky and log lines, the emblem large.
QImage drawInstallerSide() {
    QImage image(164, 314, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    paintSky(p, image, 14, 150, 150);

    p.drawImage(QRect(34, 30, 96, 96),
                drawIcon(256).scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    return image;
}

// A 256-colour image, with fully transparent pixels kept as a mask.
QImage toPaletted(const QImage& image) {
    return image.convertToFormat(QImage::Format_Indexed8,
                                 Qt::ThresholdDither | Qt::ThresholdAlphaDither | Qt::AvoidDither);
}

void appendLE16(QByteArray& out, quint16 value) {
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&value), 2);
}
void appendLE32(QByteArray& out, quint32 value) {
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&value), 4);
}

// One icon image in the classic form every Windows version reads: a
// 256-colour DIB followed by its 1-bit transparency mask.
QByteArray palettedDib(const QImage& source) {
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    const QImage indexed = toPaletted(argb);
    const int w = indexed.width();
    const int h = indexed.height();
    QByteArray out;
    appendLE32(out, 40);
    appendLE32(out, quint32(w));
    appendLE32(out, quint32(h * 2));  // image and mask
    appendLE16(out, 1);
    appendLE16(out, 8);
    appendLE32(out, 0);
    appendLE32(out, 0);
    appendLE32(out, 0);
    appendLE32(out, 0);
    appendLE32(out, 256);
    appendLE32(out, 0);
    QList<QRgb> palette = indexed.colorTable();
    palette.resize(256, qRgb(0, 0, 0));
    for (QRgb colour : palette) {
        out.append(char(qBlue(colour)))
            .append(char(qGreen(colour)))
            .append(char(qRed(colour)))
            .append(char(0));
    }
    const int pixelStride = (w + 3) & ~3;
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(pixelStride, 0);
        for (int x = 0; x < w; ++x) {
            row[x] = char(indexed.pixelIndex(x, y));
        }
        out.append(row);
    }
    const int maskStride = ((w + 31) / 32) * 4;
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, 0);
        for (int x = 0; x < w; ++x) {
            if (qAlpha(argb.pixel(x, y)) < 128) {
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out.append(row);
    }
    return out;
}

QByteArray pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray icoFile(const QList<QPair<int, QByteArray>>& images, int palettedSize) {
    QByteArray header;
    appendLE16(header, 0);
    appendLE16(header, 1);
    appendLE16(header, quint16(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    QByteArray body;
    for (const auto& [size, data] : images) {
        header.append(char(size >= 256 ? 0 : size)).append(char(size >= 256 ? 0 : size));
        header.append(char(0)).append(char(0));  // 256 colours, reserved
        appendLE16(header, 1);
        appendLE16(header, size == palettedSize ? 8 : 32);
        appendLE32(header, quint32(data.size()));
        appendLE32(header, offset);
        offset += quint32(data.size());
        body.append(data);
    }
    return header + body;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-artwork OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = toPaletted(drawIcon(16)).save(out.filePath(QStringLiteral("icon-16.png")));
    for (int size : {32, 48, 256}) {
        ok = ok && drawIcon(size).save(out.filePath(QStringLiteral("icon-%1.png").arg(size)));
    }
    ok = ok && writeFile(out.filePath(QStringLiteral("quavel-logger.ico")),
                         icoFile({{16, palettedDib(drawIcon(16))},
                                  {32, pngBytes(drawIcon(32))},
                                  {48, pngBytes(drawIcon(48))},
                                  {256, pngBytes(drawIcon(256))}},
                                 16));
    ok = ok && drawBanner().save(out.filePath(QStringLiteral("banner.jpg")), "JPEG", 85);
    ok = ok && drawInstallerSide()
                   .convertToFormat(QImage::Format_RGB888)
                   .save(out.filePath(QStringLiteral("installer-side.bmp")), "BMP");
    if (!ok) {
        std::fprintf(stderr, "make-artwork: could not write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
