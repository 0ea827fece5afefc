# Service
