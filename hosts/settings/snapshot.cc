#include "hosts/settings/snapshot.h"

#include <gtkmm.h>

namespace hosts::settings {

namespace {

// The render node of what `widget` draws at its size; null when there is none.
GskRenderNode* renderNode(Gtk::Widget& widget, int width, int height) {
  GdkPaintable* paintable = gtk_widget_paintable_new(widget.gobj());
  GtkSnapshot* snapshot = gtk_snapshot_new();
  gdk_paintable_snapshot(paintable, snapshot, width, height);
  GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
  g_object_unref(paintable);
  return node;
}

}  // namespace

bool savePNG(Gtk::Widget& widget, const std::filesystem::path& path) {
  int width = widget.get_width();
  int height = widget.get_height();
  GtkNative* native = gtk_widget_get_native(widget.gobj());
  if (width <= 0 || height <= 0 || !native) return false;
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  GskRenderNode* node = renderNode(widget, width, height);
  if (!node) return false;
  graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, float(width), float(height));
  GdkTexture* texture = gsk_renderer_render_texture(gtk_native_get_renderer(native), node, &bounds);
  bool written = gdk_texture_save_to_png(texture, path.c_str());
  g_object_unref(texture);
  gsk_render_node_unref(node);
  return written;
}

}  // namespace hosts::settings
