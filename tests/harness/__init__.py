"""Runs the real launcher.exe under wine on an Xvfb display, for the end-to-end tests and the demo."""
