#include "ui/EmbeddedWB.h"

TEmbeddedWB::TEmbeddedWB(QWidget* parent) : QWidget(parent) {}

void TEmbeddedWB::Navigate(const QString& path) { document_ = path; }
