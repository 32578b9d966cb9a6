"""Where the editor is installed."""
import os


def get_path():
    """The installation folder: the folder holding this module."""
    return os.path.dirname(os.path.abspath(__file__))
