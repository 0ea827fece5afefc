# sources of the Socket component
