// What the bench's table, check and live run share.
#pragma once
#include <cstdio>

void printMachine();
// Sends the show's console lines to a sink while timing (the forest flight prints a line a frame;
// a terminal would slow the loop); returns the stream to give back to restoreStdout.
FILE *sinkStdout();
void restoreStdout(FILE *saved);
// The show played through runDemo on a short module; the start-up split and each part's frames.
int runLive(int ticksPerRow);
