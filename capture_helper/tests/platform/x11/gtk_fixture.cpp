// A GTK application for the accessibility tests: one window whose elements
// sit at known places, shown on the accessibility bus the session bus in
// DBUS_SESSION_BUS_ADDRESS leads to. Prints "ready <window id>" once the
// window is mapped and leaves when its standard input closes.
//   dorvane_gtk_fixture X Y
// The window is 400 x 300 at X, Y. Inside it, at window coordinates:
//   a button "First", 160 x 50 at 20, 20;
//   a panel, 180 x 150 at 200, 100, holding a button "Second", 100 x 40 at
//   30, 50 of the panel (330, 250 of the window).

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

namespace {

gboolean onMapped(GtkWidget* window, GdkEvent*, gpointer) {
    std::printf("ready %lu\n", static_cast<unsigned long>(gdk_x11_window_get_xid(gtk_widget_get_window(window))));
    std::fflush(stdout);
    return FALSE;
}

gboolean onInput(GIOChannel* channel, GIOCondition, gpointer) {
    gchar buffer[64];
    gsize got = 0;
    const GIOStatus status = g_io_channel_read_chars(channel, buffer, sizeof buffer, &got, nullptr);
    if (status == G_IO_STATUS_EOF || status == G_IO_STATUS_ERROR) {
        gtk_main_quit();
        return FALSE;
    }
    return TRUE;
}

GtkWidget* button(const char* label, int width, int height) {
    GtkWidget* widget = gtk_button_new_with_label(label);
    gtk_widget_set_size_request(widget, width, height);
    return widget;
}

}  // namespace

int main(int argc, char** argv) {
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "dorvane_gtk_fixture: cannot open the display\n");
        return 3;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: dorvane_gtk_fixture X Y\n");
        return 2;
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Dorvane fixture");
    gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_move(GTK_WINDOW(window), std::atoi(argv[1]), std::atoi(argv[2]));

    GtkWidget* layout = gtk_fixed_new();
    gtk_widget_set_size_request(layout, 400, 300);
    gtk_fixed_put(GTK_FIXED(layout), button("First", 160, 50), 20, 20);
    GtkWidget* panel = gtk_fixed_new();
    gtk_widget_set_size_request(panel, 180, 150);
    gtk_fixed_put(GTK_FIXED(panel), button("Second", 100, 40), 30, 50);
    gtk_fixed_put(GTK_FIXED(layout), panel, 200, 100);
    gtk_container_add(GTK_CONTAINER(window), layout);

    g_signal_connect(window, "map-event", G_CALLBACK(onMapped), nullptr);
    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onInput, nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    g_io_channel_unref(input);
    return 0;
}
