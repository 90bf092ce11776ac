under
