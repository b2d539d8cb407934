#pragma once

#include <QFont>
#include <QImage>
#include <QTextOption>

#include "imaging/page_images.h"
#include "reading/book_pages.h"

namespace pagewend::imaging {

// A page of a book composed at `pixels`: its background, its images each decoded no larger than
// it is shown, its texts. An image that cannot be decoded leaves its box empty; the page is drawn
// all the same. With a budget, the decodes take their bytes from it and reuse what it keeps.
QImage RenderPage(const reading::Page& page, double pageWidth, double pageHeight, Size pixels,
                  PixelBudget* budget = nullptr);

// How a text part is set, in the page view and wherever a page is composed: its font at
// pixelSize, and its alignment and wrapping within its box.
QFont TextFont(const reading::TextStyle& style, int pixelSize);
QTextOption TextOptions(const reading::TextStyle& style);

// The resolution a page's images carry: the most source pixels per page unit among them, read
// from their headers. 0 for a page without readable images.
double ImageResolution(const reading::Page& page);

}  // namespace pagewend::imaging
