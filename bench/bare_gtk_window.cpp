// The yardstick for the GTK windows' start: a bare GTK 3 window of a given
// size and title, nothing else. Usage: bare_gtk_window WIDTH HEIGHT TITLE
#include <gtk/gtk.h>

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4 || !gtk_init_check(nullptr, nullptr)) return 2;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), argv[3]);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    GtkWidget* content = gtk_layout_new(nullptr, nullptr);
    gtk_widget_set_size_request(content, std::atoi(argv[1]), std::atoi(argv[2]));
    gtk_container_add(GTK_CONTAINER(window), content);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
