// k7104-render-icons ICONS.QRC FOLDER: draws every SVG the resource file lists with Qt Svg as PNG
// files at the sizes of views/IconSizes.h into FOLDER, and writes FOLDER/icons.qrc, which lists
// them under the names the window asks for. For a window built where Qt Svg is not (the Windows
// build): the SVG stays the one source of the pictures.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cstdio>

#include "views/IconSizes.h"

namespace {

struct TIcon {
  QString Alias;  // the name the window asks for, "ImageList1/00.svg"
  QString Path;   // the SVG file
};

struct TResource {
  QString Prefix;
  QList<TIcon> Icons;
};

bool Fail(const QString& why) {
  std::fprintf(stderr, "k7104-render-icons: %s\n", qPrintable(why));
  return false;
}

bool ReadResource(const QString& qrcPath, TResource& resource) {
  QFile file(qrcPath);
  if (!file.open(QIODevice::ReadOnly)) return Fail("cannot read " + qrcPath);
  const QDir folder = QFileInfo(qrcPath).absoluteDir();
  QXmlStreamReader xml(&file);
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == u"qresource") {
      resource.Prefix = xml.attributes().value("prefix").toString();
    } else if (xml.name() == u"file") {
      const QString alias = xml.attributes().value("alias").toString();
      const QString path = folder.filePath(xml.readElementText().trimmed());
      resource.Icons.append({alias.isEmpty() ? QFileInfo(path).fileName() : alias, path});
    }
  }
  if (xml.hasError()) return Fail(qrcPath + ": " + xml.errorString());
  if (resource.Icons.isEmpty()) return Fail(qrcPath + " lists no file");
  return true;
}

bool DrawIcon(const TIcon& icon, const QDir& out, QStringList& written) {
  QSvgRenderer renderer(icon.Path);
  if (!renderer.isValid()) return Fail("cannot draw " + icon.Path);
  for (int size : ImageLists::PngSizes) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    const QString name = ImageLists::PngName(icon.Alias, size);
    if (!out.mkpath(QFileInfo(name).path()) || !image.save(out.filePath(name), "PNG"))
      return Fail("cannot write " + out.filePath(name));
    written << name;
  }
  return true;
}

bool WriteResource(const QString& path, const QString& prefix, const QStringList& names) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return Fail("cannot write " + path);
  QXmlStreamWriter xml(&file);
  xml.setAutoFormatting(true);
  xml.writeDTD("<!DOCTYPE RCC>");
  xml.writeStartElement("RCC");
  xml.writeAttribute("version", "1.0");
  xml.writeStartElement("qresource");
  xml.writeAttribute("prefix", prefix);
  for (const QString& name : names) xml.writeTextElement("file", name);
  xml.writeEndElement();
  xml.writeEndElement();
  xml.writeEndDocument();
  return file.flush() && file.error() == QFileDevice::NoError;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Drawing needs no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = QGuiApplication::arguments();
  if (args.size() != 3) {
    std::fprintf(stderr, "usage: k7104-render-icons ICONS.QRC FOLDER\n");
    return 2;
  }
  TResource resource;
  if (!ReadResource(args[1], resource)) return 1;
  const QDir out(args[2]);
  if (!out.mkpath(".")) {
    Fail("cannot make " + args[2]);
    return 1;
  }
  QStringList written;
  for (const TIcon& icon : resource.Icons)
    if (!DrawIcon(icon, out, written)) return 1;
  return WriteResource(out.filePath("icons.qrc"), resource.Prefix, written) ? 0 : 1;
}
