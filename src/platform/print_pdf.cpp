#include "platform/print_pdf.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <memory>

#include "base/cp850.h"
#include "base/error.h"

namespace kdx2::platform {

using namespace base::literals;

namespace {

constexpr const char* kFontFamily = "DejaVu Sans Mono";

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};

[[noreturn]] void fail(const std::string& hostPath, cairo_status_t status) {
    throw base::Error("Não foi possível gravar o PDF "_cp + base::cp850::fromUtf8(hostPath) + ": " +
                      cairo_status_to_string(status));
}

// The advance of one character at a font size of one point: the font is
// monospaced, so every character has it.
double unitAdvance(cairo_t* context) {
    cairo_set_font_size(context, 1.0);
    cairo_text_extents_t extents;
    cairo_text_extents(context, "M", &extents);
    return extents.x_advance > 0 ? extents.x_advance : 0.6;
}

void draw(cairo_t* context, const PdfText& text, double unit) {
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, text.advance / unit, text.height);
    cairo_set_font_matrix(context, &matrix);
    cairo_move_to(context, text.x, text.baseline);
    cairo_show_text(context, text.text.c_str());
}

}  // namespace

void writeMonospacedPdf(const std::vector<PdfPage>& pages, const std::string& hostPath,
                        const std::string& title) {
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_pdf_surface_create(hostPath.c_str(), kA4Width, kA4Height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        fail(hostPath, cairo_surface_status(surface.get()));
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE,
                                   base::cp850::toUtf8(title).c_str());
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "kdx2");
    std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
    cairo_select_font_face(context.get(), kFontFamily, CAIRO_FONT_SLANT_NORMAL,
                           CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_source_rgb(context.get(), 0, 0, 0);
    const double unit = unitAdvance(context.get());
    for (const PdfPage& page : pages) {
        for (const PdfText& text : page.texts)
            draw(context.get(), text, unit);
        cairo_show_page(context.get());
    }
    if (pages.empty()) cairo_show_page(context.get());
    context.reset();
    cairo_surface_finish(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        fail(hostPath, cairo_surface_status(surface.get()));
}

}  // namespace kdx2::platform
