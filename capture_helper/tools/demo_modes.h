#pragma once
// The modes of dorvane_demo, each given the arguments after its name.

int recordMode(int argc, char** argv);
int mouseMode(int argc, char** argv);
