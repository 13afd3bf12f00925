#!/bin/bash
# Placeholder: removes the system-wide bundles as root. Replaced by the real script.
exit 0
