# sources of the VirtualPort component
