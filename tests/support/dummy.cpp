namespace {} // namespace
